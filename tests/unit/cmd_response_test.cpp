// The response record: every byte of it travels, so every byte is checked.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <new>
#include <string>
#include <vector>

#include "cmd_response.h"

namespace {

using Bytes = std::vector<unsigned char>;

// Builds a record over memory full of garbage and returns its bytes.
Bytes Built(const std::function<void(void*)>& build) {
    alignas(SCmdResponse) unsigned char raw[sizeof(SCmdResponse)];
    memset(raw, 0xAB, sizeof raw);
    build(raw);
    return Bytes(raw, raw + sizeof raw);
}

// The little-endian wire image of a record.
Bytes Image(int32_t status, int32_t code, const std::string& text) {
    Bytes b(1032, 0);
    for (int i = 0; i < 4; ++i) {
        b[i] = static_cast<unsigned char>(static_cast<uint32_t>(status) >> (8 * i));
        b[4 + i] = static_cast<unsigned char>(static_cast<uint32_t>(code) >> (8 * i));
    }
    memcpy(b.data() + 8, text.data(), text.size());
    return b;
}

TEST(CmdResponse, ConstructorsZeroAllBytesFirst) {
    const struct {
        const char* name;
        std::function<void(void*)> build;
        Bytes image;
    } cases[] = {
        {"default", [](void* p) { new (p) SCmdResponse(); }, Image(1, 0, "")},
        {"success", [](void* p) { new (p) SCmdResponse("%s,%d", "up", -5); }, Image(1, 0, "up,-5")},
        {"failure", [](void* p) { new (p) SCmdResponse(-2, "%s", "SIM not inserted or chip fail"); },
         Image(2, -2, "SIM not inserted or chip fail")},
        {"percent kept", [](void* p) { new (p) SCmdResponse(-101, "Chip internal fail! %s", "100% %s%n"); },
         Image(2, -101, "Chip internal fail! 100% %s%n")},
    };
    for (const auto& c : cases) EXPECT_EQ(Built(c.build), c.image) << c.name;
}

}  // namespace
