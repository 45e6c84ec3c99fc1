// The fuzz targets run the renderer headless (no device): the stubs are never reached and only
// satisfy the linker for renderer.cpp. Include it in one source file per target.
#pragma once
#include "game/renderer.h"

Renderer_Device* renderer_device_create(const u8*) { return nullptr; }
void renderer_device_destroy(Renderer_Device*) {}
i32 renderer_device_max_texture_size(Renderer_Device*) { return 0; }
void renderer_device_load_atlas(Renderer_Device*, i32, i32, const u8*) {}
void renderer_device_load_palette(Renderer_Device*, const u8*) {}
void renderer_device_load_font(Renderer_Device*, const u8*) {}
void renderer_device_draw(Renderer_Device*, const Renderer_Frame_Params&, const Sprite_Instance*, u32,
                          const Font_Instance*, u32) {}
int platform_width() { return VIEW_W; }
int platform_height() { return VIEW_H; }
bool platform_redraw_needed() { return true; }
void platform_set_frame_drawn(bool) {}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    renderer_init(true);
    return 0;
}
