// Whatever the RTOS side sends: every request type with no payload, one byte
// short of its layout, exactly its layout with no zero byte anywhere, the
// longest legal strings, much longer, and 64 KiB and more; unknown types with
// and without payloads.  Each known type gets exactly one response, a refusal
// where the payload is unusable, and no command to the module carries a byte
// that was not inside its field.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "hardening_rig.h"

namespace hardening {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

// Field i is filled with letter 'j' + i (commands' own text is upper case); bytes beyond the layout with '~',
// which no command may ever carry.
const char kTail = '~';

enum class EFill { eFull, eLongestLegal };

std::string Fill(const SLayout& l, EFill how) {
    std::string p;
    for (size_t i = 0; i < l.fields.size(); ++i) {
        const size_t size = l.fields[i];
        std::string f(size, static_cast<char>('j' + i));
        // A one-byte field is a number, not a string: keep it whole.
        if (how == EFill::eLongestLegal && size > 1) f.back() = '\0';
        p += f;
    }
    return p;
}

struct SVariant {
    const char* name;
    // The payload for a type; nullopt when the variant does not apply.
    std::function<std::optional<std::string>(const SLayout&)> payload;
};

const std::vector<SVariant> kVariants = {
    {"no payload", [](const SLayout&) { return std::string(); }},
    {"one byte short",
     [](const SLayout& l) -> std::optional<std::string> {
         const std::string full = Fill(l, EFill::eFull);
         if (full.size() < 2) return std::nullopt;
         return full.substr(0, full.size() - 1);
     }},
    {"exact, no zero byte", [](const SLayout& l) { return Fill(l, EFill::eFull); }},
    {"longest legal strings",
     [](const SLayout& l) -> std::optional<std::string> {
         if (l.fields.empty()) return std::nullopt;
         return Fill(l, EFill::eLongestLegal);
     }},
    {"4 KiB longer", [](const SLayout& l) { return Fill(l, EFill::eLongestLegal) + std::string(4096, kTail); }},
    {"64 KiB + 1", [](const SLayout& l) { return Fill(l, EFill::eFull) + std::string(65537 - l.Size(), kTail); }},
};

// Every layout field; isString: the operation reads it as a string that
// must end within the field.
struct SField {
    uint32_t type;
    const char* name;
    size_t offset, size;
    bool isString;
};

#define STRING_FIELD(type, layout, field, kind)                                            \
    {type, #field, SIM7100_FIELD_OFFSET(layout, field), SIM7100_FIELD_SIZE(layout, field), \
     (kind) == SIM7100_FIELD_STRING || (kind) == SIM7100_FIELD_STRING_OPT},
const SField kFields[] = {SIM7100_REQUEST_FIELDS(STRING_FIELD)};
#undef STRING_FIELD

// The refusal the daemon's payload check gives, or "" for none.
std::string ExpectedRefusal(uint32_t type, const SLayout& l, const std::string& payload) {
    if (type == SIM7100_MSG_RAW_COMMAND) return payload.empty() || payload[0] == '\0' ? "Empty command!" : "";
    const size_t need = l.text ? 1 : l.Size();
    if (need == 0) return "";
    if (payload.size() < need || (l.text && payload[0] == '\0')) {
        return "Invalid request payload: " + std::to_string(payload.size()) + " bytes, " + std::to_string(need) +
               " expected";
    }
    for (const auto& f : kFields) {
        if (f.type == type && f.isString && payload.find('\0', f.offset) >= f.offset + f.size) {
            return std::string("Invalid request payload: field ") + f.name + " is not terminated";
        }
    }
    return "";
}

// No command carries more of a field's letter than the field holds, and none
// carries a byte from beyond the layout.
void ExpectCommandsWithinFields(const std::vector<std::string>& commands, const SLayout& l) {
    if (l.text) return;  // the text is the whole payload
    for (const auto& c : commands) {
        EXPECT_EQ(c.find(kTail), std::string::npos) << "a byte beyond the layout reached the module";
        for (size_t i = 0; i < l.fields.size(); ++i) {
            if (l.fields[i] == 1) continue;  // numbers are formatted, not copied
            const auto n = static_cast<size_t>(std::count(c.begin(), c.end(), static_cast<char>('j' + i)));
            EXPECT_LE(n, l.fields[i]) << "field " << i << " ran past its end in " << c.substr(0, 80);
        }
    }
}

TEST(BadInput, EveryTypeAndPayloadShapeGetsExactlyOneFittingResponse) {
    Rig rig;
    rig.modem.SetSplit(0, 0);
    rig.modem.SetDefault({{"\r\nOK\r\n"}});
    ASSERT_NO_FATAL_FAILURE(rig.StartLinked());
    // Each string field filled to its end is refused by name, before the chip
    // state is looked at; the same field with its last byte zero is served.
    auto unterminatedFields = [&](const std::string& served) {
        for (const auto& f : kFields) {
            if (!f.isString) continue;
            for (const bool terminated : {false, true}) {
                SCOPED_TRACE(std::string(f.name) + (terminated ? ", last byte zero" : ", no zero byte"));
                std::string payload = Fill(LayoutOf(f.type), EFill::eLongestLegal);
                std::fill_n(payload.begin() + static_cast<long>(f.offset), f.size, 'x');
                if (terminated) payload[f.offset + f.size - 1] = '\0';
                const size_t before = rig.modem.Commands().size();
                const auto r = rig.Request(f.type, payload);
                if (!terminated) {
                    EXPECT_EQ(r.record.cmdStatus, 2);
                    EXPECT_EQ(r.record.errCode, -2);
                    EXPECT_EQ(r.Text(), std::string("Invalid request payload: field ") + f.name + " is not terminated");
                    EXPECT_TRUE(rig.CommandsSince(before).empty()) << "a refused request reached the module";
                } else if (!served.empty()) {
                    EXPECT_EQ(r.Text(), served);
                } else {
                    EXPECT_THAT(r.Text(), Not(StartsWith("Invalid request payload")));
                }
            }
        }
    };
    unterminatedFields("Chip is not initialized!");
    ASSERT_NO_FATAL_FAILURE(rig.PowerOn());
    unterminatedFields("");
    rig.modem.On("AT+CSQ\r\n", "\r\n+CSQ: 23,99\r\n\r\nOK\r\n", true);
    auto powerOn = [&] {
        const auto r = rig.Request(SIM7100_MSG_POWER_ON);
        ASSERT_EQ(r.record.cmdStatus, 1) << r.Text();
    };

    // The loop prints each request's line before its response goes out, but
    // the line may reach us later than the response.
    std::map<std::string, size_t> seen;
    auto expectLine = [&](const std::string& line) {
        EXPECT_TRUE(rig.daemon.WaitForStdout(line, Within(2000), ++seen[line])) << line;
    };
    int refusals = 0;
    for (uint32_t type = SIM7100_MSG_FIRST_REQUEST; type <= SIM7100_MSG_LAST_REQUEST; ++type) {
        const SLayout layout = LayoutOf(type);
        for (const auto& v : kVariants) {
            const auto payload = v.payload(layout);
            if (!payload) continue;
            SCOPED_TRACE("type " + std::to_string(type) + ", " + v.name + ", " + std::to_string(payload->size()) +
                         " bytes");
            const size_t before = rig.modem.Commands().size();
            const auto r = rig.Request(type, *payload);
            const std::string refusal = ExpectedRefusal(type, layout, *payload);
            expectLine(" size " + std::to_string(payload->size()) + " received");
            // Types without a payload ignore whatever comes.
            if (type == SIM7100_MSG_GET_SIGNAL_QUALITY) {
                EXPECT_EQ(r.record.errCode, 23);
            }
            if (!refusal.empty()) {
                ++refusals;
                EXPECT_EQ(r.record.cmdStatus, 2);
                EXPECT_EQ(r.record.errCode, -2);
                EXPECT_EQ(r.Text(), refusal);
                EXPECT_TRUE(rig.CommandsSince(before).empty()) << "a refused request reached the module";
            } else {
                EXPECT_THAT(r.Text(), Not(StartsWith("Invalid request payload")));
                ExpectCommandsWithinFields(rig.CommandsSince(before), layout);
            }
            if (type == SIM7100_MSG_POWER_OFF || type == SIM7100_MSG_STAND_BY) {
                ASSERT_NO_FATAL_FAILURE(powerOn());
            }
        }
    }
    EXPECT_GT(refusals, 20);

    // Unknown types get nothing: the next bytes answer the request after them.
    const std::string big(1 << 20, 'x');
    int unknown = 0;
    for (uint32_t type : {0u, 1u, 39u, 0xFFFFFFFFu}) {
        for (const std::string* payload : {static_cast<const std::string*>(nullptr), &big}) {
            for (size_t size : {size_t{0}, size_t{8}, size_t{65536}, big.size()}) {
                if ((payload == nullptr) != (size == 0)) continue;
                SCOPED_TRACE("unknown type " + std::to_string(type) + ", " + std::to_string(size) + " bytes");
                ASSERT_TRUE(rig.peer.SendFrame(type, size == 0 ? std::string() : big.substr(0, size)));
                ++unknown;
                EXPECT_EQ(rig.Request(SIM7100_MSG_GET_CONNECTION_STATUS).record.cmdStatus, 4);
                const std::string line = "Sim7100 message of type " + std::to_string(static_cast<int32_t>(type));
                expectLine(size == 0 ? line + " data (nil) size 0 received\n"
                                     : " size " + std::to_string(size) + " received");
            }
        }
    }
    EXPECT_TRUE(rig.daemon.WaitForStderr("[WARNING] Unknown message type\n", Within(5000), unknown));

    ASSERT_TRUE(rig.peer.SendFrame(SIM7100_MSG_TERMINATE));
    EXPECT_TRUE(rig.peer.WaitClosed(Within(5000))) << "a response to terminate, or no close";
    EXPECT_EQ(ExitCode(rig.daemon.WaitExit(Within(10000))), 0);
    EXPECT_FALSE(HasFaultReport(rig.daemon.Stderr())) << rig.daemon.Stderr();
}

}  // namespace
}  // namespace hardening
