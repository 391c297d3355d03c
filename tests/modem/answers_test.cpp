// The answer parsers against replies as the modules send them.
#include <gtest/gtest.h>

#include <string>

#include "answers.h"

namespace {

struct SChipCase {
    const char* device;
    const char* answer;
    CSim7100Impl::EChipType type;
};

TEST(ChipTypeOf, NamesTheModel) {
    const SChipCase cases[] = {
        {"SIM7100E CGMM", "\r\nSIMCOM_SIM7100E\r\n\r\nOK\r\n", CSim7100Impl::eChipSim7100E},
        {"SIM7100A CGMM", "\r\nSIMCOM_SIM7100A\r\n\r\nOK\r\n", CSim7100Impl::eChipSim7100A},
        {"SIM7600G-H CGMM", "\r\nSIMCOM_SIM7600G-H\r\n\r\nOK\r\n", CSim7100Impl::eChipSim7600G},
        // A SIM7600 that is not the G variant is not one of ours.
        {"SIM7600E-H CGMM", "\r\nSIMCOM_SIM7600E-H\r\n\r\nOK\r\n", CSim7100Impl::eChipUnknown},
        {"SIM7100E ERROR", "\r\nERROR\r\n", CSim7100Impl::eChipUnknown},
    };
    for (const auto& c : cases) EXPECT_EQ(ChipTypeOf(c.answer), c.type) << c.device;
}

struct SSimCase {
    const char* device;
    const char* answer;
    int status;
    int err;
};

TEST(SimStateOf, LongerNamesWin) {
    const SSimCase cases[] = {
        {"SIM7600G-H R2 CPIN READY", "\r\n+CPIN: READY\r\n\r\nOK\r\n", 1, 0},
        {"SIM7100E CPIN PIN", "\r\n+CPIN: SIM PIN\r\n\r\nOK\r\n", 5, 0},
        {"SIM7100E CPIN PUK", "\r\n+CPIN: SIM PUK\r\n\r\nOK\r\n", 6, 0},
        // "SIM PIN2" contains "SIM PIN": must not read as PIN.
        {"SIM7100E CPIN PIN2", "\r\n+CPIN: SIM PIN2\r\n\r\nOK\r\n", 7, 0},
        {"SIM7100E CPIN PUK2", "\r\n+CPIN: SIM PUK2\r\n\r\nOK\r\n", 8, 0},
        // An error report may still name the state.
        {"SIM7600G-H CME PIN required", "\r\n+CME ERROR: SIM PIN required\r\n", 5, 0},
        // No state named: success status, errCode 2.
        {"SIM7600G-H CME not inserted", "\r\n+CME ERROR: SIM not inserted\r\n", 1, 2},
        {"SIM7100A ERROR", "\r\nERROR\r\n", 1, 2},
    };
    for (const auto& c : cases) {
        const SSimState s = SimStateOf(c.answer);
        EXPECT_EQ(s.cmdStatus, c.status) << c.device;
        EXPECT_EQ(s.errCode, c.err) << c.device;
    }
}

struct SNumberCase {
    const char* device;
    const char* answer;
    bool ok;
    unsigned value;
};

TEST(SignalStrengthOf, RefusesUnknownStrengths) {
    const SNumberCase cases[] = {
        // The bit error rate (99: unknown) is ignored.
        {"SIM7600G-H R2 CSQ", "\r\n+CSQ: 23,99\r\n\r\nOK\r\n", true, 23},
        {"SIM7100E CSQ weak", "\r\n+CSQ: 0,0\r\n\r\nOK\r\n", true, 0},
        {"SIM7100E CSQ no signal", "\r\n+CSQ: 99,99\r\n\r\nOK\r\n", false, 0},
        // 100..199 is the TD-SCDMA range: 199 unknown, 198 a real value.
        {"SIM7600G-H CSQ 199", "\r\n+CSQ: 199,99\r\n\r\nOK\r\n", false, 0},
        {"SIM7600G-H CSQ 198", "\r\n+CSQ: 198,99\r\n\r\nOK\r\n", true, 198},
        {"SIM7100E CSQ no ber", "\r\n+CSQ: 23\r\n\r\nOK\r\n", false, 0},
        {"SIM7100E CME", "\r\n+CME ERROR: 10\r\n", false, 0},
    };
    for (const auto& c : cases) {
        unsigned v = 0;
        EXPECT_EQ(SignalStrengthOf(c.answer, v), c.ok) << c.device;
        if (c.ok) { EXPECT_EQ(v, c.value) << c.device; }
    }
}

TEST(NetworkModeOf, ReadsTheSecondNumber) {
    const SNumberCase cases[] = {
        {"SIM7600G-H CNSMOD LTE", "\r\n+CNSMOD: 0,8\r\n\r\nOK\r\n", true, 8},
        {"SIM7100E CNSMOD WCDMA", "\r\n+CNSMOD: 1,4\r\n\r\nOK\r\n", true, 4},
        {"SIM7100E CNSMOD one number", "\r\n+CNSMOD: 0\r\n\r\nOK\r\n", false, 0},
        {"SIM7100E ERROR", "\r\nERROR\r\n", false, 0},
    };
    for (const auto& c : cases) {
        unsigned v = 0;
        EXPECT_EQ(NetworkModeOf(c.answer, v), c.ok) << c.device;
        if (c.ok) { EXPECT_EQ(v, c.value) << c.device; }
    }
}

TEST(SingleNumberParsers, ReadTheirPrefix) {
    using Parser = bool (*)(const char*, unsigned&);
    const struct {
        Parser parse;
        SNumberCase c;
    } cases[] = {
        {XtraFlagOf, {"SIM7600G-H CGPSXE on", "\r\n+CGPSXE: 1\r\n\r\nOK\r\n", true, 1}},
        {XtraFlagOf, {"SIM7100E CGPSXE off", "\r\n+CGPSXE: 0\r\n\r\nOK\r\n", true, 0}},
        {XtraFlagOf, {"SIM7100E CGPSXE empty", "\r\n+CGPSXE:\r\n\r\nOK\r\n", false, 0}},
        {XtraFlagOf, {"SIM7100E OK only", "\r\nOK\r\n", false, 0}},
        {StoredIndexOf, {"SIM7600G-H CMGW", "\r\n+CMGW: 5\r\n\r\nOK\r\n", true, 5}},
        {StoredIndexOf, {"SIM7100E CMGW full store", "\r\n+CMS ERROR: 322\r\n", false, 0}},
    };
    for (const auto& t : cases) {
        unsigned v = 0;
        EXPECT_EQ(t.parse(t.c.answer, v), t.c.ok) << t.c.device;
        if (t.c.ok) { EXPECT_EQ(v, t.c.value) << t.c.device; }
    }
}

TEST(RegistrationOf, NeedsModeAndState) {
    const struct {
        const char* device;
        const char* answer;
        bool ok;
        unsigned n, stat;
    } cases[] = {
        {"SIM7600G-H CGREG home", "\r\n+CGREG: 0,1\r\n\r\nOK\r\n", true, 0, 1},
        {"SIM7100E CGREG roaming", "\r\n+CGREG: 0,5\r\n\r\nOK\r\n", true, 0, 5},
        // n=2 adds location fields after the state.
        {"SIM7600G-H CGREG n=2", "\r\n+CGREG: 2,1,\"1A2B\",\"01C2D3E4\",7\r\n\r\nOK\r\n", true, 2, 1},
        // The unsolicited form carries the state alone.
        {"SIM7100E URC", "\r\n+CGREG: 1\r\n", false, 0, 0},
        {"SIM7100E ERROR", "\r\nERROR\r\n", false, 0, 0},
    };
    for (const auto& c : cases) {
        unsigned n = 9, stat = 9;
        EXPECT_EQ(RegistrationOf(c.answer, n, stat), c.ok) << c.device;
        if (c.ok) { EXPECT_EQ(std::make_pair(n, stat), std::make_pair(c.n, c.stat)) << c.device; }
    }
}

TEST(SmsModeOf, KeepsTheLowByte) {
    const struct {
        const char* device;
        const char* answer;
        bool ok;
        uint8_t mode;
    } cases[] = {
        {"SIM7600G-H CMGF text", "\r\n+CMGF: 1\r\n\r\nOK\r\n", true, 1},
        {"SIM7100E CMGF pdu", "\r\n+CMGF: 0\r\n\r\nOK\r\n", true, 0},
        {"SIM7100E CMGF 257", "\r\n+CMGF: 257\r\n\r\nOK\r\n", true, 1},
        {"SIM7100E CMGF empty", "\r\n+CMGF: \r\n", false, 0},
    };
    for (const auto& c : cases) {
        uint8_t mode = 7;
        EXPECT_EQ(SmsModeOf(c.answer, mode), c.ok) << c.device;
        if (c.ok) { EXPECT_EQ(mode, c.mode) << c.device; }
    }
}

TEST(SmsStatusName, OthersAreAll) {
    const std::pair<uint8_t, std::string> cases[] = {
        {0, "REC UNREAD"}, {1, "REC READ"}, {2, "STO UNSENT"}, {3, "STO SENT"}, {4, "ALL"}, {9, "ALL"}, {255, "ALL"},
    };
    for (const auto& c : cases) EXPECT_EQ(SmsStatusName(c.first), c.second) << int(c.first);
}

TEST(RevisionWordOf, TakesTheFirstWordAlone) {
    const struct {
        const char* device;
        std::string answer;
        size_t size;
        bool ok;
        std::string word;
    } cases[] = {
        {"SIM7600G-H R2 CGMR", "\r\n+CGMR: LE20B04SIM7600G22\r\n\r\nOK\r\n", 64, true, "LE20B04SIM7600G22"},
        {"SIM7100E CGMR", "\r\n+CGMR: 4534B06SIM7100E\r\n\r\nOK\r\n", 64, true, "4534B06SIM7100E"},
        // Build date after the word stays out.
        {"SIM7600M22 CGMR dated", "\r\n+CGMR: LE11B12SIM7600M22 2019-08-13\r\n\r\nOK\r\n", 64, true,
         "LE11B12SIM7600M22"},
        {"long word, 64 buffer", "\r\n+CGMR: " + std::string(70, 'R') + "\r\n", 64, true, std::string(63, 'R')},
        {"long word, 65 buffer", "\r\n+CGMR: " + std::string(70, 'R') + "\r\n", 65, true, std::string(64, 'R')},
        {"SIM7100E ERROR", "\r\nERROR\r\n", 64, false, ""},
        {"prefix at end", "\r\n+CGMR:", 64, false, ""},
    };
    for (const auto& c : cases) {
        char word[65];
        EXPECT_EQ(RevisionWordOf(c.answer.c_str(), word, c.size), c.ok) << c.device;
        if (c.ok) { EXPECT_EQ(std::string(word), c.word) << c.device; }
    }
}

TEST(ServiceProviderOf, CleansTheNameInPlace) {
    const struct {
        const char* device;
        std::string answer;
        bool ok;
        std::string name;
        unsigned mode;
        std::string cleaned;  // the answer afterwards
    } cases[] = {
        {"SIM7600G-H R2 CSPN", "\r\n+CSPN: \"Vodafone\",0\r\n\r\nOK\r\n", true, "Vodafone", 0,
         "\r\n+CSPN: \"Vodafone\",0\r\n\r\nOK\r\n"},
        // Blanks, dots and dashes become blanks, the length stays.
        {"SIM7100E CSPN dotted", "\r\n+CSPN: \"T-Mobile D.E\",1\r\n\r\nOK\r\n", true, "T Mobile D E", 1,
         "\r\n+CSPN: \"T Mobile D E\",1\r\n\r\nOK\r\n"},
        // UTF-8 bytes: each byte a blank.
        {"SIM7600G-H CSPN UTF-8", "\r\n+CSPN: \"O2 \xC3\xA9\",0\r\n\r\nOK\r\n", true, "O2   ", 0,
         "\r\n+CSPN: \"O2   \",0\r\n\r\nOK\r\n"},
        {"SIM7100A CSPN empty", "\r\n+CSPN: \"\",0\r\n\r\nOK\r\n", true, "", 0, "\r\n+CSPN: \"\",0\r\n\r\nOK\r\n"},
        {"70-character name", "\r\n+CSPN: \"" + std::string(70, 'N') + "\",1\r\n\r\nOK\r\n", true,
         std::string(63, 'N'), 1, "\r\n+CSPN: \"" + std::string(70, 'N') + "\",1\r\n\r\nOK\r\n"},
        // Without the display mode it fails, but the name is cleaned already.
        {"SIM7100E no mode", "\r\n+CSPN: \"E-Plus\"\r\n\r\nOK\r\n", false, "", 0, "\r\n+CSPN: \"E Plus\"\r\n\r\nOK\r\n"},
        {"SIM7100E no closing quote", "\r\n+CSPN: \"E-Plus\r\n", false, "", 0, "\r\n+CSPN: \"E-Plus\r\n"},
        {"SIM7100E CME", "\r\n+CME ERROR: 10\r\n", false, "", 0, "\r\n+CME ERROR: 10\r\n"},
    };
    for (const auto& c : cases) {
        std::string answer = c.answer;
        char name[64];
        unsigned mode = 9;
        EXPECT_EQ(ServiceProviderOf(&answer[0], name, mode), c.ok) << c.device;
        EXPECT_EQ(answer, c.cleaned) << c.device;
        if (c.ok) {
            EXPECT_EQ(std::string(name), c.name) << c.device;
            EXPECT_EQ(mode, c.mode) << c.device;
        }
    }
}

TEST(SupportsLbs, BoundaryWords) {
    const std::pair<const char*, bool> cases[] = {
        {"LE20B04SIM7600G22", true},
        {"SIM7600", true},          // the model name alone, whatever the length
        {"4534B13SIM7100E", true},  // 15 characters, 6th '1'
        {"4534B07SIM7100E", true},  // 6th '0', 7th '7'
        {"4534B06SIM7100E", false}, // 6th '0', 7th '6'
        {"4534B13SIM7100", false},  // 14 characters
        {"4534B\xC3" "6SIM7100E", true},  // bytes compare unsigned
        {"", false},
    };
    for (const auto& c : cases) EXPECT_EQ(SupportsLbs(c.first), c.second) << c.first;
}

TEST(NetStartOf, FoundReadAndCode) {
    const struct {
        const char* device;
        const char* answer;
        bool found, read;
        int code;
    } cases[] = {
        {"SIM7600G-H CNETSTART", "\r\nOK\r\n\r\n+CNETSTART: 0\r\n", true, true, 0},
        {"SIM7100E CNETSTART fail", "\r\nOK\r\n\r\n+CNETSTART: 1\r\n", true, true, 1},
        {"negative code", "\r\nOK\r\n\r\n+CNETSTART: -1\r\n", true, true, -1},
        {"no number", "\r\nOK\r\n\r\n+CNETSTART: x\r\n", true, false, 0},
        {"no line", "\r\nOK\r\n", false, false, 0},
    };
    for (const auto& c : cases) {
        const SNetStart s = NetStartOf(c.answer);
        EXPECT_EQ(s.found, c.found) << c.device;
        EXPECT_EQ(s.read, c.read) << c.device;
        EXPECT_EQ(s.code, c.code) << c.device;
    }
}

TEST(LocationOf, NeedsFourFields) {
    const struct {
        const char* device;
        const char* answer;
        int lineAt;  // offset of "+CLBS:", -1 none
        int fields;
        unsigned code;
    } cases[] = {
        {"SIM7600G-H CLBS fix", "\r\n+CLBS: 0,31.228562,121.383660,550\r\n\r\nOK\r\n", 2, 4, 0},
        {"SIM7600G-H CLBS after OK", "\r\nOK\r\n\r\n+CLBS: 0,31.228562,121.383660,550\r\n", 8, 4, 0},
        // A failed fix carries its code alone.
        {"SIM7100E CLBS no fix", "\r\n+CLBS: 2\r\n\r\nOK\r\n", 2, 1, 2},
        {"SIM7100E OK only", "\r\nOK\r\n", -1, 0, 0},
    };
    for (const auto& c : cases) {
        const SLocation l = LocationOf(c.answer);
        EXPECT_EQ(l.line == nullptr ? -1 : static_cast<int>(l.line - c.answer), c.lineAt) << c.device;
        EXPECT_EQ(l.fields, c.fields) << c.device;
        EXPECT_EQ(l.code, c.code) << c.device;
    }
}

TEST(LengthThroughOk, StopsAtTheFirstOk) {
    const std::string read = "\r\n+CMGR: \"REC READ\",\"+491701234567\",,\"24/05/01,10:00:00+08\"\r\n";
    const struct {
        const char* device;
        std::string answer;
        size_t length;
    } cases[] = {
        {"SIM7600G-H empty list", "\r\nOK\r\n", 6},
        {"SIM7100E CMGR", read + "Hello\r\n\r\nOK\r\n", read.size() + 13},
        // A body that is the line "OK" ends the copy there.
        {"SIM7100E CMGR body OK", read + "OK\r\n\r\nOK\r\n", read.size() + 4},
        // Accepted on CONNECT, no OK: counts whole.
        {"SIM7100E CONNECT", "\r\nCONNECT\r\n", 11},
    };
    for (const auto& c : cases) EXPECT_EQ(LengthThroughOk(c.answer.c_str()), c.length) << c.device;
}

// A header line of exactly `length` bytes, CR LF included.
std::string Header(int index, size_t length) {
    const std::string head = "+CMGL: " + std::to_string(index) + ",\"REC READ\",\"+";
    const std::string tail = "\",,\"24/05/01,10:00:00+08\"\r\n";
    return head + std::string(length - head.size() - tail.size(), '1') + tail;
}

TEST(CollectHeaders, HeaderLinesWithinTheField) {
    const std::string a = Header(1, 60), b = Header(2, 70);
    const struct {
        const char* device;
        std::string answer;
        EHeaders result;
        std::string text;
    } cases[] = {
        {"SIM7600G-H two messages", "\r\n" + a + "Hello\r\n" + b + "Bye\r\n\r\nOK\r\n", EHeaders::eOk, a + b},
        {"SIM7600G-H empty store", "\r\nOK\r\n", EHeaders::eOk, ""},
        {"1023 bytes of headers", "\r\n" + Header(1, 500) + "x\r\n" + Header(2, 523) + "\r\nOK\r\n", EHeaders::eOk,
         Header(1, 500) + Header(2, 523)},
        {"1024 bytes of headers", "\r\n" + Header(1, 500) + "x\r\n" + Header(2, 524) + "\r\nOK\r\n",
         EHeaders::eTooBig, ""},
        {"header without CR LF", "\r\n" + a + "Hi\r\n+CMGL: 2,\"REC READ\"", EHeaders::eIncorrect, ""},
    };
    for (const auto& c : cases) {
        char text[SIM7100_TEXT_SIZE];
        EXPECT_EQ(CollectHeaders(c.answer.c_str(), text), c.result) << c.device;
        if (c.result == EHeaders::eOk) { EXPECT_EQ(std::string(text), c.text) << c.device; }
    }
}

}  // namespace
