#include "writer/PackedVersion.h"

namespace PackedVersion {

uint32_t Parse(const XString& text) {
    uint32_t parts[4] = {0, 0, 0, 0};
    int index = 0;
    int position = 0;
    while (index < 4 && position <= text.length()) {
        int dot = text.find('.', position);
        if (dot < 0) {
            dot = text.length();
        }
        parts[index++] = static_cast<uint32_t>(text.mid(position, dot - position).toInt());
        position = dot + 1;
    }
    return ((parts[0] & 0x1Fu) << 27) | ((parts[1] & 0x1Fu) << 22) | ((parts[2] & 0x3Fu) << 16) |
           (parts[3] & 0xFFFFu);
}

XString Format(uint32_t version) {
    return XString::formatted("%u.%u.%u.%u", version >> 27, (version >> 22) & 0x1Fu, (version >> 16) & 0x3Fu,
                              version & 0xFFFFu);
}

}  // namespace PackedVersion
