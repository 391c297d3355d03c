// Every request type through the whole daemon, taken from the protocol's
// request list: every payload shape the RTOS side may send gets exactly one
// fitting response, with no byte from outside its field reaching the module.
// Unknown types get none.  That each type reaches its own operation holds by
// construction: the route and the operation come from one row of the list.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>

#include "hardening_rig.h"
#include "sim7100_protocol.h"

namespace hardening {
namespace {

using ::testing::Not;
using ::testing::StartsWith;

const std::string kOk = "\r\nOK\r\n";
// Field i of a layout is filled with letter 'j' + i (commands' own text is
// upper case); bytes beyond the layout with '~', which no command may carry.
const char kTail = '~';

struct SType {
    uint32_t type;
    const char* name;
    int payload;
    size_t size;
};
#define TYPE_ROW(type, name, payload, size) {type, #name, payload, size},
const SType kTypes[] = {SIM7100_REQUEST_TYPES(TYPE_ROW)};
#undef TYPE_ROW

struct SField {
    uint32_t type;
    const char* name;
    size_t offset, size;
    int kind;
    // The operation reads it as a string that must end within the field.
    bool String() const { return kind == SIM7100_FIELD_STRING || kind == SIM7100_FIELD_STRING_OPT; }
};
#define FIELD_ROW(type, layout, field, kind) \
    {type, #field, SIM7100_FIELD_OFFSET(layout, field), SIM7100_FIELD_SIZE(layout, field), kind},
const SField kFields[] = {SIM7100_REQUEST_FIELDS(FIELD_ROW)};
#undef FIELD_ROW

std::vector<SField> FieldsOf(uint32_t type) {
    std::vector<SField> fields;
    std::copy_if(std::begin(kFields), std::end(kFields), std::back_inserter(fields),
                 [type](const SField& f) { return f.type == type; });
    return fields;
}

struct SShape {
    std::string name, payload;
    bool refused;  // by the daemon's payload check
};

std::vector<SShape> Shapes(const SType& t) {
    std::string full, legal;  // every field filled; every string ending in its last byte
    bool strings = false;
    char letter = 'j';
    for (const SField& f : FieldsOf(t.type)) {
        full += std::string(f.size, letter++);
        legal += full.substr(f.offset);
        strings = strings || f.String();
        // A one-byte field is a number, not a string: keep it whole.
        if (f.kind != SIM7100_FIELD_BYTE) legal.back() = '\0';
    }
    std::vector<SShape> shapes = {{"no payload", "", t.size > 0 || t.payload == SIM7100_PAYLOAD_TEXT},
                                  {"4 KiB longer", legal + std::string(4096, kTail), false},
                                  {"64 KiB + 1", full + std::string(65537 - full.size(), kTail), strings}};
    if (full.size() >= 2) shapes.push_back({"one byte short", full.substr(0, full.size() - 1), true});
    if (!full.empty()) {
        shapes.push_back({"exact, no zero byte", full, strings});
        shapes.push_back({"longest legal strings", legal, false});
    }
    // Each string field filled to its end, the others as long as legal.
    for (const SField& f : FieldsOf(t.type)) {
        if (!f.String()) continue;
        std::string filled = legal;
        filled.replace(f.offset, f.size, full, f.offset, f.size);
        shapes.push_back({std::string(f.name) + " to its end", filled, true});
    }
    return shapes;
}

// No command carries more of a field's letter than the field holds, and none
// carries a byte from beyond the layout.
void ExpectCommandsWithinFields(const std::vector<std::string>& commands, const SType& t) {
    if (t.payload == SIM7100_PAYLOAD_TEXT) return;  // the text is the whole payload
    const std::vector<SField> fields = FieldsOf(t.type);
    for (const auto& c : commands) {
        EXPECT_EQ(c.find(kTail), std::string::npos) << "a byte beyond the layout reached the module";
        for (size_t i = 0; i < fields.size(); ++i) {
            if (fields[i].kind == SIM7100_FIELD_BYTE) continue;  // numbers are formatted, not copied
            const auto n = static_cast<size_t>(std::count(c.begin(), c.end(), static_cast<char>('j' + i)));
            EXPECT_LE(n, fields[i].size) << fields[i].name << " ran past its end in " << c.substr(0, 80);
        }
    }
}

TEST(BadInput, EveryTypeReachesItsOperationAndEveryPayloadShapeGetsOneFittingResponse) {
    Rig rig;
    rig.modem.SetSplit(0, 0);
    rig.modem.SetDefault({{kOk}});
    // Budgets of 2 s: under load the module double was seen held up past 600 ms
    // while commands of 4 KiB went by, and every answer after it shifted.
    ASSERT_NO_FATAL_FAILURE(rig.StartPowered({{"SIM7100D_TIME_SCALE", "0.1"}}));

    // PowerOff and StandBy close the port: open it again for what follows.
    auto reopen = [&](uint32_t type) {
        if (type == SIM7100_MSG_POWER_OFF || type == SIM7100_MSG_STAND_BY) rig.PowerOn();
    };
    for (const SType& t : kTypes) {
        SCOPED_TRACE(std::to_string(t.type) + " " + t.name);
        for (const SShape& shape : Shapes(t)) {
            SCOPED_TRACE(shape.name + ", " + std::to_string(shape.payload.size()) + " bytes");
            ASSERT_TRUE(rig.modem.WaitDrained(Within(5000)));
            const size_t before = rig.modem.Commands().size();
            const auto shaped = rig.Request(t.type, shape.payload);
            if (shape.refused) {
                EXPECT_EQ(std::make_pair(shaped.record.cmdStatus, shaped.record.errCode), std::make_pair(2, -2));
                EXPECT_TRUE(rig.CommandsSince(before).empty()) << "a refused request reached the module";
            } else {
                EXPECT_THAT(shaped.Text(), Not(StartsWith("Invalid request payload")));
                ExpectCommandsWithinFields(rig.CommandsSince(before), t);
            }
            reopen(t.type);
        }
    }

    // Unknown types get nothing: the next bytes answer the request after them.
    const std::string big(1 << 20, 'x');
    for (uint32_t type : {0u, 1u, SIM7100_MSG_LAST_REQUEST + 1, 0xFFFFFFFFu}) {
        for (size_t size : {size_t{0}, size_t{8}, size_t{65536}, big.size()}) {
            SCOPED_TRACE("unknown type " + std::to_string(type) + ", " + std::to_string(size) + " bytes");
            ASSERT_TRUE(rig.peer.SendFrame(type, big.substr(0, size)));
            EXPECT_EQ(rig.Request(SIM7100_MSG_GET_CONNECTION_STATUS).record.cmdStatus, 4);
        }
        const std::string line = "Sim7100 message of type " + std::to_string(static_cast<int32_t>(type));
        EXPECT_TRUE(rig.daemon.WaitForStdout(line + " data (nil) size 0 received\n", Within(2000)));
    }
    EXPECT_TRUE(rig.daemon.WaitForStderr("[WARNING] Unknown message type\n", Within(5000), 4 * 4));  // one per frame

    ASSERT_TRUE(rig.peer.SendFrame(SIM7100_MSG_TERMINATE));
    EXPECT_EQ(ExitCode(rig.daemon.WaitExit(Within(10000))), 0);
    EXPECT_FALSE(HasFaultReport(rig.daemon.Stderr())) << rig.daemon.Stderr();
}

}  // namespace
}  // namespace hardening
