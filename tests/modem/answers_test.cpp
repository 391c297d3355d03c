// The answer parsers against replies as the modules send them.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <tuple>

#include "answers.h"
#include "dialogue.h"

namespace {

TEST(Answers, ChipTypeAndSimState) {
    const std::pair<std::string, int> chips[] = {
        {Line("SIMCOM_SIM7600E-H"), 3},  // a SIM7600 that is not the G variant is not one of ours
        {Line("SIM7600G SIM7100A"), 1},  // the SIM7100A name wins
    };
    for (const auto& c : chips) EXPECT_EQ(ChipTypeOf(c.first.c_str()), c.second) << c.first;
    const struct {
        std::string answer;
        int status, err;
    } states[] = {
        {Line("+CPIN: READY"), 1, 0},    {Line("+CPIN: SIM PIN"), 5, 0},
        {Line("+CPIN: SIM PUK"), 6, 0},  {Line("+CPIN: SIM PIN2"), 7, 0},  // contains "SIM PIN": must not read as PIN
        {Line("+CPIN: SIM PUK2"), 8, 0}, {"\r\n+CME ERROR: SIM not inserted\r\n", 1, 2},  // no state named
    };
    for (const auto& s : states) {
        EXPECT_EQ(SimStateOf(s.answer.c_str()).cmdStatus, s.status) << s.answer;
        EXPECT_EQ(SimStateOf(s.answer.c_str()).errCode, s.err) << s.answer;
    }
}

using Parse = std::function<bool(const char*, unsigned&)>;

TEST(Answers, NumberParsers) {
    const Parse csq = SignalStrengthOf, mode = NetworkModeOf, xe = XtraFlagOf, cmgw = StoredIndexOf;
    const Parse creg = [](const char* a, unsigned& v) {  // n * 100 + stat
        unsigned n = 9, stat = 9;
        const bool ok = RegistrationOf(a, n, stat);
        v = n * 100 + stat;
        return ok;
    };
    const Parse cmgf = [](const char* a, unsigned& v) {
        uint8_t m = 7;
        const bool ok = SmsModeOf(a, m);
        v = m;
        return ok;
    };
    const struct {
        const char* device;
        const Parse& parse;
        std::string answer;
        int value;  // -1: refused
    } cases[] = {
        // Plain values are the dialogues' (signal, network mode, XTRA flag, stored index).
        {"SIM7100E no signal", csq, Line("+CSQ: 99,99"), -1},
        // 100..199 is the TD-SCDMA range: 199 unknown, 198 a real value.
        {"SIM7600G-H 199", csq, Line("+CSQ: 199,99"), -1},
        {"SIM7600G-H 198", csq, Line("+CSQ: 198,99"), 198},
        {"SIM7100E no ber", csq, Line("+CSQ: 23"), -1},
        {"SIM7100E one number", mode, Line("+CNSMOD: 0"), -1},
        {"SIM7100E empty", xe, Line("+CGPSXE:"), -1},
        {"SIM7100E full store", cmgw, "\r\n+CMS ERROR: 322\r\n", -1},
        {"SIM7600G-H n=2", creg, Line("+CGREG: 2,1,\"1A2B\",\"01C2D3E4\",7"), 201},  // location fields follow
        {"SIM7100E URC", creg, "\r\n+CGREG: 1\r\n", -1},  // the unsolicited form: state alone
        {"SIM7100E 257", cmgf, Line("+CMGF: 257"), 1},    // the low byte
        {"SIM7100E empty", cmgf, "\r\n+CMGF: \r\n", -1},
    };
    for (const auto& c : cases) {
        unsigned v = 0;
        EXPECT_EQ(c.parse(c.answer.c_str(), v), c.value >= 0) << c.device;
        if (c.value >= 0) {
            EXPECT_EQ(v, static_cast<unsigned>(c.value)) << c.device;
        }
    }
}

TEST(Answers, SmsStatusNameAndLbsFirmware) {
    EXPECT_EQ(std::string(SmsStatusName(255)), "ALL");  // past the names
    const std::pair<const char*, bool> words[] = {
        {"SIM7600", true},  // the model name alone, whatever the length
        {"4534B07SIM7100E", true},
        {"4534B06SIM7100E", false},
        {"4534B13SIM7100", false},  // 14 characters
        {"4534B\xC3"
         "6SIM7100E",
         true},  // bytes compare unsigned
    };
    for (const auto& w : words) EXPECT_EQ(SupportsLbs(w.first), w.second) << w.first;
}

TEST(Answers, RevisionWordIsTheFirstWordWithinTheBuffer) {
    const std::string r70 = "\r\n+CGMR: " + std::string(70, 'R') + "\r\n";
    const std::tuple<std::string, size_t, std::string> cases[] = {
        // answer, buffer, word ("": refused)
        {Line("+CGMR: LE11B12SIM7600M22 2019-08-13"), 64, "LE11B12SIM7600M22"},  // the build date stays out
        {r70, 64, std::string(63, 'R')},
        {r70, 65, std::string(64, 'R')},
        {"\r\nERROR\r\n", 64, ""},
        {"\r\n+CGMR:", 64, ""},
    };
    for (const auto& [answer, size, expected] : cases) {
        char word[65];
        EXPECT_EQ(RevisionWordOf(answer.c_str(), word, size), !expected.empty()) << answer;
        if (!expected.empty()) {
            EXPECT_EQ(std::string(word), expected);
        }
    }
}

TEST(Answers, ServiceProviderCleansTheNameInPlace) {
    const std::string n70(70, 'N');
    const struct {
        std::string answer;
        bool ok;
        std::string name;
        unsigned mode;
        std::string cleaned;  // the answer afterwards
    } cases[] = {
        // Every byte not a letter or digit (UTF-8 bytes each) becomes a blank.
        {Line("+CSPN: \"T-Mobile D.E\",1"), true, "T Mobile D E", 1, Line("+CSPN: \"T Mobile D E\",1")},
        {Line("+CSPN: \"" + n70 + "\",1"), true, std::string(63, 'N'), 1, Line("+CSPN: \"" + n70 + "\",1")},
        // Without the display mode it fails, but the name is cleaned already.
        {Line("+CSPN: \"E-Plus\""), false, "", 0, Line("+CSPN: \"E Plus\"")},
        {"\r\n+CSPN: \"E-Plus\r\n", false, "", 0, "\r\n+CSPN: \"E-Plus\r\n"},
    };
    for (const auto& c : cases) {
        std::string answer = c.answer;
        char name[64];
        unsigned mode = 9;
        EXPECT_EQ(ServiceProviderOf(&answer[0], name, mode), c.ok) << c.answer;
        EXPECT_EQ(answer, c.cleaned);
        if (c.ok) {
            EXPECT_EQ(std::string(name) + "/" + std::to_string(mode), c.name + "/" + std::to_string(c.mode));
        }
    }
}

TEST(Answers, NetStartAndLocation) {
    const struct {
        std::string answer;
        bool found, read;
        int code;
    } starts[] = {
        {"\r\nOK\r\n\r\n+CNETSTART: 0\r\n", true, true, 0},
        {"\r\nOK\r\n\r\n+CNETSTART: x\r\n", true, false, 0},
        {"\r\nOK\r\n", false, false, 0},
    };
    for (const auto& s : starts) {
        const SNetStart n = NetStartOf(s.answer.c_str());
        EXPECT_EQ(std::make_tuple(n.found, n.read, n.code), std::make_tuple(s.found, s.read, s.code)) << s.answer;
    }
    const struct {
        std::string answer;
        int lineAt, fields;  // offset of "+CLBS:", -1 none
        unsigned code;
    } fixes[] = {
        {"\r\nOK\r\n\r\n+CLBS: 0,31.228562,121.383660,550\r\n", 8, 4, 0},
        {"\r\n+CLBS: 2\r\n\r\nOK\r\n", 2, 1, 2},  // a failed fix carries its code alone
        {"\r\nOK\r\n", -1, 0, 0},
    };
    for (const auto& f : fixes) {
        const SLocation l = LocationOf(f.answer.c_str());
        const int at = l.line == nullptr ? -1 : static_cast<int>(l.line - f.answer.c_str());
        EXPECT_EQ(std::make_tuple(at, l.fields, l.code), std::make_tuple(f.lineAt, f.fields, f.code)) << f.answer;
    }
}

TEST(Answers, ListingCopies) {
    EXPECT_EQ(LengthThroughOk("\r\nHi\r\nOK\r\n\r\nOK\r\n"), 10u);  // a body "OK" ends the copy
    EXPECT_EQ(LengthThroughOk("\r\nCONNECT\r\n"), 11u);             // accepted without OK: whole
    const std::string a = Header(1, 60), b = Header(2, 70);
    const struct {
        std::string answer;
        EHeaders result;
        std::string text;
    } cases[] = {
        {"\r\n" + a + "Hello\r\n" + b + "Bye\r\n\r\nOK\r\n", EHeaders::eOk, a + b},
        {"\r\nOK\r\n", EHeaders::eOk, ""},
        // Headers of 1023 bytes in all fit the record's text; one more does not.
        {"\r\n" + Header(1, 500) + "x\r\n" + Header(2, 523) + "\r\nOK\r\n", EHeaders::eOk,
         Header(1, 500) + Header(2, 523)},
        {"\r\n" + Header(1, 500) + "x\r\n" + Header(2, 524) + "\r\nOK\r\n", EHeaders::eTooBig, ""},
        {"\r\n" + a + "Hi\r\n+CMGL: 2,\"REC READ\"", EHeaders::eIncorrect, ""},
    };
    for (const auto& c : cases) {
        char text[SIM7100_TEXT_SIZE];
        EXPECT_EQ(CollectHeaders(c.answer.c_str(), text), c.result) << c.answer;
        if (c.result == EHeaders::eOk) {
            EXPECT_EQ(std::string(text), c.text);
        }
    }
}

}  // namespace
