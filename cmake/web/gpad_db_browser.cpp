// The browser build's gamepad database: the browser numbers every pad it knows in one standard
// layout, so the one entry is all there is; other pads are left alone, as unknown pads are.
#include "gpad/gpad_db.h"

#define VANTOREL_STANDARD_WORD "standard"
constexpr bool _same_word(const char* a, const char* b) {
    while (*a && *a == *b) ++a, ++b;
    return *a == *b;
}
static_assert(_same_word(VANTOREL_STANDARD_WORD, GPAD_STANDARD_GUID));

const char gpad_db_guids[][GPAD_GUID_SIZE] = {VANTOREL_STANDARD_WORD};
const Gpad_Entry gpad_db_entries[] = {GPAD_STANDARD_ENTRY};
const uint16_t gpad_db_entry_count = 1;
