// Device side of the renderer: every OpenGL call of the game lives here.
//
// Orientation: the matrices and programs are written for a device whose
// framebuffer origin is the top-left. On GL each render target that is later
// sampled comes out flipped against that device (clip +y lands on texture
// t = 1, not v = 0). The picture goes through two such targets (offscreen,
// then post-process) before the window, so the two flips cancel and the
// window shows world +y up and screen +y down with the programs unchanged.
#include "renderer.h"

#include <SDL2/SDL.h>
#ifdef __EMSCRIPTEN__
#include <GLES3/gl3.h>
// Object kinds of the debug labels, which WebGL lacks; the labels are skipped there.
constexpr GLenum GL_BUFFER = 0x82E0, GL_PROGRAM = 0x82E2, GL_VERTEX_ARRAY = 0x8074;
#else
#include <epoxy/gl.h>
#endif

#include <cmath>
#include <cstddef>
#include <new>

namespace {

constexpr GLsizei SPRITE_BUFFER_BYTES = GLsizei(MAX_WORLD_SPRITES * sizeof(Sprite_Instance));
constexpr GLsizei FONT_BUFFER_BYTES = GLsizei(MAX_GLYPHS * sizeof(Font_Instance));
constexpr f32 CLEAR_COLOR[4] = {PALETTE[2].r, PALETTE[2].g, PALETTE[2].b, PALETTE[2].a};

// GL has no pipeline objects; this is the state a pipeline fixes.
struct Gl_Pipeline {
    GLuint program = 0;
    GLuint vao = 0;
    bool depth_test = false;
    GLenum depth_func = GL_ALWAYS;
    bool depth_write = false;
    bool blend = false;
};

}  // namespace

struct Renderer_Device {
    bool has_labels = false;
    GLuint quad_vertices = 0;
    GLuint quad_indices = 0;
    GLuint sprite_instances = 0;
    GLuint font_instances = 0;
    GLuint nearest_sampler = 0;
    GLuint font_sampler = 0;
    GLuint palette_sampler = 0;
    GLuint present_linear_sampler = 0;
    GLuint sprite_atlas = 0;
    GLuint font_atlas = 0;
    GLuint palette = 0;
    GLuint offscreen_color = 0;
    GLuint offscreen_depth = 0;
    GLuint postprocess_color = 0;
    GLuint offscreen_fbo = 0;
    GLuint postprocess_fbo = 0;
    Gl_Pipeline sprite;
    Gl_Pipeline font;
    Gl_Pipeline postprocess;
    Gl_Pipeline present;
    // The present program less its edge blending, for whole-number scales: the same pixels,
    // and the pass that fills the whole window is most of the frame on a software GL.
    Gl_Pipeline present_whole;
    GLint sprite_mvp = -1;
    GLint font_mvp = -1;
    GLint present_scale = -1;
    GLint present_viewport_scale = -1;
    GLint present_offset = -1;
    GLint present_pixels_per_texel = -1;
    GLint present_whole_scale = -1;
    GLint present_whole_viewport_scale = -1;
    GLint present_whole_offset = -1;
};

namespace {

// The programs are written once; only their first lines differ between desktop GL and
// WebGL 2, whose fragment stage has no default float precision.
#ifdef __EMSCRIPTEN__
const char* GLSL_HEADER = "#version 300 es\nprecision highp float;\nprecision highp sampler3D;\n";
#else
const char* GLSL_HEADER = "#version 330 core\n";
#endif

const char* SPRITE_VS = R"(uniform mat4 mvp;
layout(location = 0) in vec2 attr_pos;
layout(location = 1) in vec3 inst_pos;
layout(location = 2) in vec2 inst_right;
layout(location = 3) in vec2 inst_up;
layout(location = 4) in vec4 inst_color;
layout(location = 5) in vec2 inst_tex_min;
layout(location = 6) in vec2 inst_tex_size;
out vec4 color;
out vec2 uv;
void main() {
    vec2 p = attr_pos * 2.0 - 1.0;
    vec2 world = inst_right * p.x + inst_up * p.y + inst_pos.xy;
    gl_Position = mvp * vec4(world, inst_pos.z, 1.0);
    color = inst_color;
    uv = inst_tex_min + inst_tex_size * attr_pos;
}
)";

const char* SPRITE_FS = R"(uniform sampler2D sprite_tex;
in vec4 color;
in vec2 uv;
layout(location = 0) out vec4 frag_color;
void main() {
    vec4 c = texture(sprite_tex, uv) * color;
    if (c.a < 0.05) discard;
    frag_color = c;
}
)";

const char* FONT_VS = R"(uniform mat4 mvp;
layout(location = 0) in vec2 attr_pos;
layout(location = 1) in vec2 inst_pos;
layout(location = 2) in vec2 inst_size;
layout(location = 3) in vec2 inst_uv_pos;
layout(location = 4) in vec2 inst_uv_size;
layout(location = 5) in vec4 inst_color;
out vec4 color;
out vec2 uv;
void main() {
    gl_Position = mvp * vec4(inst_pos + inst_size * attr_pos, 0.0, 1.0);
    uv = inst_uv_pos + inst_uv_size * attr_pos;
    color = inst_color;
}
)";

const char* FONT_FS = R"(uniform sampler2D font_tex;
in vec4 color;
in vec2 uv;
layout(location = 0) out vec4 frag_color;
void main() {
    float coverage = texture(font_tex, uv).r;
    frag_color = color * vec4(1.0, 1.0, 1.0, coverage);
}
)";

const char* POSTPROCESS_VS = R"(layout(location = 0) in vec2 attr_pos;
out vec2 t;
void main() {
    gl_Position = vec4(attr_pos * 2.0 - 1.0, 0.0, 1.0);
    t = attr_pos;
}
)";

// Blue picks the column, green the row, red the slice of the lookup texture.
const char* POSTPROCESS_FS = R"(uniform sampler2D postprocess_tex;
uniform sampler3D postprocess_palette_tex;
in vec2 t;
layout(location = 0) out vec4 frag_color;
void main() {
    vec3 c = texture(postprocess_tex, vec2(t.x, 1.0 - t.y)).rgb;
    frag_color = vec4(texture(postprocess_palette_tex, vec3(c.b, c.g, c.r)).rgb, 1.0);
}
)";

const char* PRESENT_VS = R"(uniform vec2 scale;
uniform vec2 viewport_scale;
uniform vec2 offset;
layout(location = 0) in vec2 attr_pos;
out vec2 uv;
void main() {
    vec2 p = attr_pos * 2.0 - 1.0;
    gl_Position = vec4(p * scale + offset, 0.0, 1.0);
    uv = p * viewport_scale * 0.5 + 0.5;
}
)";

// At a whole-number scale (pixels_per_texel 0) this is plain nearest sampling. Otherwise the
// sampler is linear and the coordinate is moved to the texel centre everywhere except in the
// one window pixel that straddles a texel edge, which blends the two texels by how much of
// the pixel each covers: every game pixel comes out equally wide.
const char* PRESENT_FS = R"(uniform sampler2D present_tex;
uniform vec2 pixels_per_texel;
in vec2 uv;
layout(location = 0) out vec4 frag_color;
void main() {
    vec2 t = uv;
    if (pixels_per_texel.x > 0.0) {
        vec2 size = vec2(textureSize(present_tex, 0));
        vec2 texel = uv * size;
        vec2 base = floor(texel);
        vec2 from_centre = texel - base - 0.5;
        vec2 pure = 0.5 - 0.5 / pixels_per_texel;
        vec2 blend = (from_centre - clamp(from_centre, -pure, pure)) * pixels_per_texel;
        t = (base + 0.5 + blend) / size;
    }
    frag_color = vec4(texture(present_tex, t).rgb, 1.0);
}
)";

const char* PRESENT_WHOLE_FS = R"(uniform sampler2D present_tex;
in vec2 uv;
layout(location = 0) out vec4 frag_color;
void main() {
    frag_color = vec4(texture(present_tex, uv).rgb, 1.0);
}
)";

void _log_gl_errors(const char* where) {
    for (GLenum e = glGetError(); e != GL_NO_ERROR; e = glGetError())
        SDL_Log("renderer: GL error 0x%04x in %s", e, where);
}

void _label(const Renderer_Device* d, GLenum type, GLuint id, const char* name) {
#ifdef __EMSCRIPTEN__
    (void)d, (void)type, (void)id, (void)name;  // WebGL has no object labels
#else
    if (d->has_labels) glObjectLabel(type, id, -1, name);
#endif
}

GLuint _compile_shader(GLenum stage, const char* source, const char* program_name) {
    GLuint s = glCreateShader(stage);
    const char* parts[2] = {GLSL_HEADER, source};
    glShaderSource(s, 2, parts, nullptr);
    glCompileShader(s);
    GLint ok = GL_FALSE;
    glGetShaderiv(s, GL_COMPILE_STATUS, &ok);
    if (!ok) {
        char log[1024] = {};
        glGetShaderInfoLog(s, sizeof log, nullptr, log);
        SDL_Log("renderer: %s %s stage failed to compile: %s", program_name,
                stage == GL_VERTEX_SHADER ? "vertex" : "fragment", log);
    }
    return s;
}

GLuint _make_program(const Renderer_Device* d, const char* vs, const char* fs, const char* name) {
    GLuint v = _compile_shader(GL_VERTEX_SHADER, vs, name);
    GLuint f = _compile_shader(GL_FRAGMENT_SHADER, fs, name);
    GLuint p = glCreateProgram();
    glAttachShader(p, v);
    glAttachShader(p, f);
    glLinkProgram(p);
    GLint ok = GL_FALSE;
    glGetProgramiv(p, GL_LINK_STATUS, &ok);
    if (!ok) {
        char log[1024] = {};
        glGetProgramInfoLog(p, sizeof log, nullptr, log);
        SDL_Log("renderer: %s failed to link: %s", name, log);
    }
    glDetachShader(p, v);
    glDetachShader(p, f);
    glDeleteShader(v);
    glDeleteShader(f);
    _label(d, GL_PROGRAM, p, name);
    return p;
}

void _set_sampler_unit(GLuint program, const char* name, GLint unit) {
    glUseProgram(program);
    glUniform1i(glGetUniformLocation(program, name), unit);
}

GLuint _make_buffer(const Renderer_Device* d, GLenum target, GLsizeiptr bytes, const void* data,
                    GLenum usage, const char* name) {
    GLuint b = 0;
    glGenBuffers(1, &b);
    glBindBuffer(target, b);
    glBufferData(target, bytes, data, usage);
    _label(d, GL_BUFFER, b, name);
    return b;
}

GLuint _make_sampler(GLenum wrap, GLenum filter = GL_NEAREST) {
    GLuint s = 0;
    glGenSamplers(1, &s);
    glSamplerParameteri(s, GL_TEXTURE_MIN_FILTER, GLint(filter));
    glSamplerParameteri(s, GL_TEXTURE_MAG_FILTER, GLint(filter));
    glSamplerParameteri(s, GL_TEXTURE_WRAP_S, wrap);
    glSamplerParameteri(s, GL_TEXTURE_WRAP_T, wrap);
    glSamplerParameteri(s, GL_TEXTURE_WRAP_R, wrap);
    return s;
}

// Single-level, nearest by itself too, so the texture is complete even unsampled.
GLuint _make_texture_2d(const Renderer_Device* d, GLsizei w, GLsizei h, GLint internal_format,
                        GLenum format, GLenum type, const void* pixels, const char* name) {
    GLuint t = 0;
    glGenTextures(1, &t);
    glBindTexture(GL_TEXTURE_2D, t);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, internal_format, w, h, 0, format, type, pixels);
    _label(d, GL_TEXTURE, t, name);
    return t;
}

GLuint _make_framebuffer(const Renderer_Device* d, GLuint color, GLuint depth, const char* name) {
    GLuint f = 0;
    glGenFramebuffers(1, &f);
    glBindFramebuffer(GL_FRAMEBUFFER, f);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, color, 0);
    if (depth) glFramebufferTexture2D(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_TEXTURE_2D, depth, 0);
    GLenum status = glCheckFramebufferStatus(GL_FRAMEBUFFER);
    if (status != GL_FRAMEBUFFER_COMPLETE)
        SDL_Log("renderer: framebuffer %s incomplete (0x%04x)", name, status);
    _label(d, GL_FRAMEBUFFER, f, name);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    return f;
}

// A vertex array with the quad corners at attribute 0 and the index buffer bound.
GLuint _make_quad_vao(const Renderer_Device* d, const char* name) {
    GLuint vao = 0;
    glGenVertexArrays(1, &vao);
    glBindVertexArray(vao);
    glBindBuffer(GL_ARRAY_BUFFER, d->quad_vertices);
    glEnableVertexAttribArray(0);
    glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, 2 * sizeof(f32), nullptr);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, d->quad_indices);
    _label(d, GL_VERTEX_ARRAY, vao, name);
    return vao;
}

// Expects the instance buffer bound to GL_ARRAY_BUFFER and the vertex array bound.
void _instance_attribute(GLuint location, GLint components, GLenum type, GLsizei stride,
                         size_t offset) {
    glEnableVertexAttribArray(location);
    GLboolean normalised = type == GL_UNSIGNED_BYTE ? GL_TRUE : GL_FALSE;
    glVertexAttribPointer(location, components, type, normalised, stride,
                          reinterpret_cast<const void*>(offset));
    glVertexAttribDivisor(location, 1);
}

void _apply_pipeline(const Gl_Pipeline& p) {
    glUseProgram(p.program);
    glBindVertexArray(p.vao);
    if (p.depth_test) {
        glEnable(GL_DEPTH_TEST);
        glDepthFunc(p.depth_func);
    } else {
        glDisable(GL_DEPTH_TEST);
    }
    glDepthMask(p.depth_write ? GL_TRUE : GL_FALSE);
    if (p.blend) {
        glEnable(GL_BLEND);
        glBlendEquation(GL_FUNC_ADD);
        glBlendFuncSeparate(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, GL_SRC_ALPHA,
                            GL_ONE_MINUS_SRC_ALPHA);
    } else {
        glDisable(GL_BLEND);
    }
}

void _bind_texture(GLuint unit, GLenum target, GLuint texture, GLuint sampler) {
    glActiveTexture(GL_TEXTURE0 + unit);
    glBindTexture(target, texture);
    glBindSampler(unit, sampler);
}

void _clear(const f32 color[4], bool depth) {
    glClearColor(color[0], color[1], color[2], color[3]);
    GLbitfield bits = GL_COLOR_BUFFER_BIT;
    if (depth) {
        glDepthMask(GL_TRUE);  // a pipeline may have left depth writes off
#ifdef __EMSCRIPTEN__
        glClearDepthf(1.0f);
#else
        glClearDepth(1.0);  // glClearDepthf is newer than GL 3.3
#endif
        bits |= GL_DEPTH_BUFFER_BIT;
    }
    glClear(bits);
}

// Window pixels per game pixel along each axis. False at whole-number scales, which keep
// nearest sampling untouched, and below one, where there is no edge pixel to share.
bool _present_pixels_per_texel(const Renderer_Frame_Params& p, f32 out[2]) {
    f32 across = p.window_w * p.present_scale[0] / (VIEW_W * p.present_viewport_scale[0]);
    f32 down = p.window_h * p.present_scale[1] / (VIEW_H * p.present_viewport_scale[1]);
    constexpr f32 WHOLE_TOLERANCE = 1e-3f;
    if (!(down > 1.0f) || std::fabs(down - std::round(down)) < WHOLE_TOLERANCE) return false;
    out[0] = across;
    out[1] = down;
    return true;
}

void _create_pipelines(Renderer_Device* d) {
    constexpr GLsizei ss = sizeof(Sprite_Instance);
    d->sprite.program = _make_program(d, SPRITE_VS, SPRITE_FS, "sprite_shader");
    d->sprite.vao = _make_quad_vao(d, "world-sprite-pipeline");
    glBindBuffer(GL_ARRAY_BUFFER, d->sprite_instances);
    _instance_attribute(1, 3, GL_FLOAT, ss, offsetof(Sprite_Instance, pos));
    _instance_attribute(2, 2, GL_FLOAT, ss, offsetof(Sprite_Instance, right));
    _instance_attribute(3, 2, GL_FLOAT, ss, offsetof(Sprite_Instance, up));
    _instance_attribute(4, 4, GL_UNSIGNED_BYTE, ss, offsetof(Sprite_Instance, color));
    _instance_attribute(5, 2, GL_FLOAT, ss, offsetof(Sprite_Instance, tex_min));
    _instance_attribute(6, 2, GL_FLOAT, ss, offsetof(Sprite_Instance, tex_size));
    d->sprite.depth_test = true;
    d->sprite.depth_func = GL_LESS;
    d->sprite.depth_write = true;
    d->sprite.blend = true;
    d->sprite_mvp = glGetUniformLocation(d->sprite.program, "mvp");
    _set_sampler_unit(d->sprite.program, "sprite_tex", 0);

    constexpr GLsizei fs = sizeof(Font_Instance);
    d->font.program = _make_program(d, FONT_VS, FONT_FS, "font_shader");
    d->font.vao = _make_quad_vao(d, "font-pipeline");
    glBindBuffer(GL_ARRAY_BUFFER, d->font_instances);
    _instance_attribute(1, 2, GL_FLOAT, fs, offsetof(Font_Instance, pos));
    _instance_attribute(2, 2, GL_FLOAT, fs, offsetof(Font_Instance, size));
    _instance_attribute(3, 2, GL_FLOAT, fs, offsetof(Font_Instance, uv_pos));
    _instance_attribute(4, 2, GL_FLOAT, fs, offsetof(Font_Instance, uv_size));
    _instance_attribute(5, 4, GL_UNSIGNED_BYTE, fs, offsetof(Font_Instance, color));
    d->font.depth_test = true;
    d->font.depth_func = GL_ALWAYS;
    d->font.depth_write = false;
    d->font.blend = true;
    d->font_mvp = glGetUniformLocation(d->font.program, "mvp");
    _set_sampler_unit(d->font.program, "font_tex", 0);

    d->postprocess.program =
        _make_program(d, POSTPROCESS_VS, POSTPROCESS_FS, "postprocess_shader");
    d->postprocess.vao = _make_quad_vao(d, "postprocess-pipeline");
    d->postprocess.blend = true;
    _set_sampler_unit(d->postprocess.program, "postprocess_tex", 0);
    _set_sampler_unit(d->postprocess.program, "postprocess_palette_tex", 1);

    d->present.program = _make_program(d, PRESENT_VS, PRESENT_FS, "present_shader");
    d->present.vao = _make_quad_vao(d, "present-pipeline");
    d->present_scale = glGetUniformLocation(d->present.program, "scale");
    d->present_viewport_scale = glGetUniformLocation(d->present.program, "viewport_scale");
    d->present_offset = glGetUniformLocation(d->present.program, "offset");
    d->present_pixels_per_texel = glGetUniformLocation(d->present.program, "pixels_per_texel");
    _set_sampler_unit(d->present.program, "present_tex", 0);

    d->present_whole.program = _make_program(d, PRESENT_VS, PRESENT_WHOLE_FS, "present_whole_shader");
    d->present_whole.vao = _make_quad_vao(d, "present-whole-pipeline");
    d->present_whole_scale = glGetUniformLocation(d->present_whole.program, "scale");
    d->present_whole_viewport_scale = glGetUniformLocation(d->present_whole.program, "viewport_scale");
    d->present_whole_offset = glGetUniformLocation(d->present_whole.program, "offset");
    _set_sampler_unit(d->present_whole.program, "present_tex", 0);

    glBindVertexArray(0);
    glUseProgram(0);
}

}  // namespace

Renderer_Device* renderer_device_create(const u8 palette_texels[2048]) {
    Renderer_Device* d = new (std::nothrow) Renderer_Device{};
    if (!d) return nullptr;
#ifndef __EMSCRIPTEN__
    d->has_labels = epoxy_gl_version() >= 43 || epoxy_has_gl_extension("GL_KHR_debug");
#endif

    constexpr f32 quad[8] = {0, 0, 0, 1, 1, 1, 1, 0};
    constexpr u16 indices[6] = {0, 1, 2, 0, 2, 3};
    glBindVertexArray(0);
    d->quad_vertices =
        _make_buffer(d, GL_ARRAY_BUFFER, sizeof quad, quad, GL_STATIC_DRAW, "quad-vertices");
    d->quad_indices = _make_buffer(d, GL_ELEMENT_ARRAY_BUFFER, sizeof indices, indices,
                                   GL_STATIC_DRAW, "quad-indices");
    d->sprite_instances = _make_buffer(d, GL_ARRAY_BUFFER, SPRITE_BUFFER_BYTES, nullptr,
                                       GL_STREAM_DRAW, "world-sprite-instance-data");
    d->font_instances = _make_buffer(d, GL_ARRAY_BUFFER, FONT_BUFFER_BYTES, nullptr,
                                     GL_STREAM_DRAW, "font-instance-data");

    d->nearest_sampler = _make_sampler(GL_REPEAT);
    d->font_sampler = _make_sampler(GL_REPEAT);
    d->palette_sampler = _make_sampler(GL_CLAMP_TO_EDGE);
    d->present_linear_sampler = _make_sampler(GL_REPEAT, GL_LINEAR);

    d->offscreen_color = _make_texture_2d(d, VIEW_W, VIEW_H, GL_RGBA8, GL_RGBA, GL_UNSIGNED_BYTE,
                                          nullptr, "offscreen-color-image");
    d->offscreen_depth = _make_texture_2d(d, VIEW_W, VIEW_H, GL_DEPTH_COMPONENT24,
                                          GL_DEPTH_COMPONENT, GL_UNSIGNED_INT, nullptr,
                                          "offscreen-pass-depth-image");
    d->postprocess_color = _make_texture_2d(d, VIEW_W, VIEW_H, GL_RGBA8, GL_RGBA,
                                            GL_UNSIGNED_BYTE, nullptr, "postprocess-color-image");
    d->offscreen_fbo = _make_framebuffer(d, d->offscreen_color, d->offscreen_depth, "offscreen-pass");
    d->postprocess_fbo = _make_framebuffer(d, d->postprocess_color, 0, "postprocess-pass");

    _create_pipelines(d);
    renderer_device_load_palette(d, palette_texels);
    _log_gl_errors("renderer_device_create");
    return d;
}

i32 renderer_device_max_texture_size(Renderer_Device* d) {
    if (!d) return 0;
    GLint size = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &size);
    return i32(size);
}

void renderer_device_load_atlas(Renderer_Device* d, i32 w, i32 h, const u8* rgba) {
    if (!d) return;
    if (d->sprite_atlas) glDeleteTextures(1, &d->sprite_atlas);
    d->sprite_atlas =
        _make_texture_2d(d, w, h, GL_RGBA8, GL_RGBA, GL_UNSIGNED_BYTE, rgba, "sprite-atlas-image");
    _log_gl_errors("renderer_device_load_atlas");
}

void renderer_device_load_palette(Renderer_Device* d, const u8 palette_texels[2048]) {
    if (!d) return;
    if (d->palette) glDeleteTextures(1, &d->palette);
    glGenTextures(1, &d->palette);
    glBindTexture(GL_TEXTURE_3D, d->palette);
    glTexParameteri(GL_TEXTURE_3D, GL_TEXTURE_MAX_LEVEL, 0);
    glTexParameteri(GL_TEXTURE_3D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_3D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage3D(GL_TEXTURE_3D, 0, GL_RGBA8, 8, 8, 8, 0, GL_RGBA, GL_UNSIGNED_BYTE, palette_texels);
    _label(d, GL_TEXTURE, d->palette, "postprocess-palette-tex3d");
    _log_gl_errors("renderer_device_load_palette");
}

void renderer_device_load_font(Renderer_Device* d, const u8* bitmap512) {
    if (!d) return;
    if (d->font_atlas) glDeleteTextures(1, &d->font_atlas);
    d->font_atlas = _make_texture_2d(d, FONT_ATLAS_SIZE, FONT_ATLAS_SIZE, GL_R8, GL_RED,
                                     GL_UNSIGNED_BYTE, bitmap512, "font-atlas-image");
    _log_gl_errors("renderer_device_load_font");
}

void renderer_device_draw(Renderer_Device* d, const Renderer_Frame_Params& p,
                          const Sprite_Instance* sprites, u32 sprite_count,
                          const Font_Instance* glyphs, u32 glyph_count) {
    if (!d) return;
    u32 ns = sprite_count < MAX_WORLD_SPRITES ? sprite_count : MAX_WORLD_SPRITES;
    u32 ng = glyph_count < MAX_GLYPHS ? glyph_count : MAX_GLYPHS;

    glDisable(GL_CULL_FACE);
    glDisable(GL_SCISSOR_TEST);
    glDisable(GL_DITHER);
#ifndef __EMSCRIPTEN__
    glDisable(GL_FRAMEBUFFER_SRGB);  // WebGL's default framebuffer is never sRGB-encoding
#endif
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);

    // Orphan, then fill: the driver never waits on last frame's draw.
    if (ns > 0) {
        glBindBuffer(GL_ARRAY_BUFFER, d->sprite_instances);
        glBufferData(GL_ARRAY_BUFFER, SPRITE_BUFFER_BYTES, nullptr, GL_STREAM_DRAW);
        glBufferSubData(GL_ARRAY_BUFFER, 0, GLsizeiptr(ns * sizeof(Sprite_Instance)), sprites);
    }
    if (ng > 0) {
        glBindBuffer(GL_ARRAY_BUFFER, d->font_instances);
        glBufferData(GL_ARRAY_BUFFER, FONT_BUFFER_BYTES, nullptr, GL_STREAM_DRAW);
        glBufferSubData(GL_ARRAY_BUFFER, 0, GLsizeiptr(ng * sizeof(Font_Instance)), glyphs);
    }

    // The matrices are row-major for row vectors; read column-major they are
    // the transpose, which is what `mvp * v` needs.
    glBindFramebuffer(GL_FRAMEBUFFER, d->offscreen_fbo);
    glViewport(0, 0, VIEW_W, VIEW_H);
    _clear(CLEAR_COLOR, true);
    if (ns > 0) {
        _apply_pipeline(d->sprite);
        _bind_texture(0, GL_TEXTURE_2D, d->sprite_atlas, d->nearest_sampler);
        glUniformMatrix4fv(d->sprite_mvp, 1, GL_FALSE, p.world_mvp);
        glDrawElementsInstanced(GL_TRIANGLES, 6, GL_UNSIGNED_SHORT, nullptr, GLsizei(ns));
    }
    if (ng > 0) {
        _apply_pipeline(d->font);
        _bind_texture(0, GL_TEXTURE_2D, d->font_atlas, d->font_sampler);
        glUniformMatrix4fv(d->font_mvp, 1, GL_FALSE, p.screen_mvp);
        glDrawElementsInstanced(GL_TRIANGLES, 6, GL_UNSIGNED_SHORT, nullptr, GLsizei(ng));
    }

    constexpr f32 postprocess_clear[4] = {1, 0, 0, 1};
    glBindFramebuffer(GL_FRAMEBUFFER, d->postprocess_fbo);
    glViewport(0, 0, VIEW_W, VIEW_H);
    _clear(postprocess_clear, false);
    _apply_pipeline(d->postprocess);
    _bind_texture(0, GL_TEXTURE_2D, d->offscreen_color, d->nearest_sampler);
    _bind_texture(1, GL_TEXTURE_3D, d->palette, d->palette_sampler);
    glDrawElements(GL_TRIANGLES, 6, GL_UNSIGNED_SHORT, nullptr);

    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glViewport(0, 0, GLsizei(p.window_w), GLsizei(p.window_h));
    _clear(CLEAR_COLOR, true);
    f32 pixels_per_texel[2] = {0, 0};
    bool even = _present_pixels_per_texel(p, pixels_per_texel);
    if (even) {
        _apply_pipeline(d->present);
        _bind_texture(0, GL_TEXTURE_2D, d->postprocess_color, d->present_linear_sampler);
        glUniform2fv(d->present_pixels_per_texel, 1, pixels_per_texel);
        glUniform2fv(d->present_scale, 1, p.present_scale);
        glUniform2fv(d->present_viewport_scale, 1, p.present_viewport_scale);
        glUniform2f(d->present_offset, 0.0f, 0.0f);
    } else {
        _apply_pipeline(d->present_whole);
        _bind_texture(0, GL_TEXTURE_2D, d->postprocess_color, d->nearest_sampler);
        glUniform2fv(d->present_whole_scale, 1, p.present_scale);
        glUniform2fv(d->present_whole_viewport_scale, 1, p.present_viewport_scale);
        glUniform2f(d->present_whole_offset, 0.0f, 0.0f);
    }
    glDrawElements(GL_TRIANGLES, 6, GL_UNSIGNED_SHORT, nullptr);

    glBindVertexArray(0);
    _log_gl_errors("renderer_device_draw");
}

void renderer_device_destroy(Renderer_Device* d) {
    if (!d) return;
    const GLuint buffers[4] = {d->quad_vertices, d->quad_indices, d->sprite_instances, d->font_instances};
    glDeleteBuffers(4, buffers);
    const GLuint samplers[4] = {d->nearest_sampler, d->font_sampler, d->palette_sampler,
                                d->present_linear_sampler};
    glDeleteSamplers(4, samplers);
    const GLuint textures[6] = {d->sprite_atlas, d->font_atlas, d->palette,
                                d->offscreen_color, d->offscreen_depth, d->postprocess_color};
    glDeleteTextures(6, textures);
    const GLuint framebuffers[2] = {d->offscreen_fbo, d->postprocess_fbo};
    glDeleteFramebuffers(2, framebuffers);
    for (Gl_Pipeline* p : {&d->sprite, &d->font, &d->postprocess, &d->present, &d->present_whole}) {
        glDeleteVertexArrays(1, &p->vao);
        glDeleteProgram(p->program);
    }
    delete d;
}
