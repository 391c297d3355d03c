// Answers that come in two parts, the periodic NMEA output, and the fault
// switches: what the daemon sees on its port, and when.
#include <gtest/gtest.h>

#include <cstdio>

#include "sim_client.h"

namespace {

using modemsim::SConfig;
using Clock = std::chrono::steady_clock;

const std::string kOk = "\r\nOK\r\n";

long MsSince(Clock::time_point start) {
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

// ---- two-part answers ----

struct STwoPart {
    const char* name;
    std::function<void(SConfig&)> setup;
    std::vector<std::string> before;  // commands that set the stage
    std::string command;
    std::string first;
    std::string second;
};

const std::string kFix = "\r\n+CLBS: 0,52.520008,13.404954,550\r\n";

const std::vector<STwoPart> kTwoParts = {
    {"XtraDownload", [](SConfig&) {}, {}, "AT+CGPSXD=0", kOk, "\r\n+CGPSXD: 0\r\n"},
    {"XtraDownloadFails", [](SConfig& c) { modemsim::ApplyPreset("xtra-fail", c); }, {}, "AT+CGPSXD=0", kOk,
     "\r\n+CGPSXD: 2\r\n"},
    {"TimeUpdate", [](SConfig&) {}, {"AT+CHTPSERV=\"ADD\",\"t.example\",80,1"}, "AT+CHTPUPDATE", kOk,
     "\r\n+CHTPUPDATE: 0\r\n"},
    {"TimeUpdateWithoutServer", [](SConfig&) {}, {}, "AT+CHTPUPDATE", kOk, "\r\n+CHTPUPDATE: 1\r\n"},
    {"NetStart", [](SConfig&) {}, {}, "AT+CNETSTART", kOk, "\r\n+CNETSTART: 0\r\n"},
    {"LocationReportFirst", [](SConfig&) {}, {"AT+CNETSTART"}, "AT+CLBS=1", kFix, kOk},
    {"LocationOkFirst", [](SConfig& c) { c.faults.lbsOrder = modemsim::ELbsOrder::eOkFirst; }, {"AT+CNETSTART"},
     "AT+CLBS=1", kOk, kFix},
    {"LocationWhileServiceClosed", [](SConfig&) {}, {"AT+CNETSTART", "AT+CNETSTOP"}, "AT+CLBS=1",
     "\r\n+CLBS: 1\r\n", kOk},
};

void PrintTo(const STwoPart& c, std::ostream* os) { *os << c.name; }

class TwoPart : public testing::TestWithParam<STwoPart> {};

TEST_P(TwoPart, SecondPartArrivesSeparatelyLater) {
    const STwoPart& c = GetParam();
    SConfig config = FastConfig();
    c.setup(config);
    SRunning run(config);
    for (const auto& command : c.before) {
        run.client->Exchange(command);
        run.client->ReadFor(2 * 150ms);  // and its result line, if any
    }
    const auto start = Clock::now();
    run.client->Send(c.command + "\r\n");
    EXPECT_EQ(run.client->ReadUntilEnds(c.first), c.first);
    EXPECT_EQ(run.client->ReadUntilEnds(c.second), c.second);
    EXPECT_GE(MsSince(start), 150);
}

INSTANTIATE_TEST_SUITE_P(modemsim, TwoPart, testing::ValuesIn(kTwoParts),
                         [](const testing::TestParamInfo<STwoPart>& info) { return info.param.name; });

// ---- NMEA ----

// Every sentence framed "$...*hh\r\n" with the XOR of the body as hh.
bool ValidSentences(const std::string& text, int& count) {
    count = 0;
    size_t at = 0;
    while ((at = text.find('$', at)) != std::string::npos) {
        const size_t star = text.find('*', at);
        const size_t end = text.find("\r\n", at);
        if (star == std::string::npos || end == std::string::npos) return true;  // cut by the window
        if (end != star + 3) return false;
        unsigned sum = 0;
        for (size_t i = at + 1; i < star; ++i) sum ^= static_cast<unsigned char>(text[i]);
        unsigned given = 0;
        if (sscanf(text.c_str() + star + 1, "%2X", &given) != 1 || given != sum) return false;
        ++count;
        at = end;
    }
    return true;
}

size_t Occurrences(const std::string& text, const std::string& word) {
    size_t n = 0;
    for (size_t at = 0; (at = text.find(word, at)) != std::string::npos; at += word.size()) ++n;
    return n;
}

TEST(modemsim_Nmea, BurstsFollowTheAcknowledgementUntilSwitchedOff) {
    SRunning run(FastConfig());
    EXPECT_EQ(run.client->Exchange("AT+CGPSCOLD"), kOk);
    run.client->Send("AT+CGPSINFOCFG=2,3\r\n");
    const std::string output =
        run.client->ReadUntil([](const std::string& s) { return Occurrences(s, "$GPRMC") >= 2; });
    EXPECT_EQ(output.compare(0, kOk.size(), kOk), 0);
    int sentences = 0;
    EXPECT_TRUE(ValidSentences(output, sentences)) << output;
    EXPECT_GE(sentences, 10);
    for (const char* kind : {"$GPGGA,", "$GPRMC,", "$GPGSV,", "$GPGSA,", "$GPVTG,"})
        EXPECT_NE(output.find(kind), std::string::npos) << kind;
    EXPECT_NE(output.find(",A,"), std::string::npos);  // a fix while the receiver runs

    run.client->Send("AT+CGPSINFOCFG=0\r\n");
    run.client->ReadUntilEnds(kOk);
    EXPECT_EQ(run.client->ReadFor(4 * 60ms), "");
}

TEST(modemsim_Nmea, WithoutFixWhileTheReceiverIsOff) {
    SRunning run(FastConfig());
    run.client->Send("AT+CGPSINFOCFG=1,31\r\n");
    const std::string output = run.client->ReadUntil([](const std::string& s) { return s.find("$GPVTG") != std::string::npos; });
    EXPECT_NE(output.find("$GPRMC,,V,"), std::string::npos) << output;
}

// ---- fault switches ----

struct SFaultCase {
    const char* name;
    std::function<void(SConfig&)> setup;
    std::function<void(SRunning&)> check;
};

const std::vector<SFaultCase> kFaults = {
    {"Latency", [](SConfig& c) { c.faults.latencyMs = 200; },
     [](SRunning& r) {
         const auto start = Clock::now();
         EXPECT_EQ(r.client->Exchange("AT"), kOk);
         EXPECT_GE(MsSince(start), 200);
     }},
    {"BaudPacing",
     [](SConfig& c) {
         c.faults.baud = 115200;
         c.faults.oversizeCommands = {"AT+CSQ"};
         c.faults.oversizeBytes = 4600;
     },
     [](SRunning& r) {
         const auto start = Clock::now();
         const std::string answer = r.client->Exchange("AT+CSQ");
         EXPECT_GE(answer.size(), 4600u);
         EXPECT_GE(MsSince(start), 4600 * 1000 / 11520 - 20);  // 10 bits a byte
     }},
    {"SplitAnswers",
     [](SConfig& c) {
         c.faults.splitBytes = 4;
         c.faults.splitGapMs = 15;
     },
     [](SRunning& r) {
         EXPECT_EQ(r.client->Exchange("AT+CSQ"), "\r\n+CSQ: 23,99\r\n\r\nOK\r\n");
         EXPECT_GE(r.client->readSizes.size(), 5u);
         for (size_t n : r.client->readSizes) EXPECT_LE(n, 4u);
     }},
    {"SilentAfterTwoCommands", [](SConfig& c) { c.faults.silentAfter = 2; },
     [](SRunning& r) {
         EXPECT_EQ(r.client->Exchange("AT"), kOk);
         EXPECT_EQ(r.client->Exchange("AT"), kOk);
         r.client->Send("AT\r\n");
         ASSERT_TRUE(r.sim.WaitForCommands(3, 2000ms));
         EXPECT_EQ(r.client->ReadFor(200ms), "");
     }},
    {"SilentForChosenCommand", [](SConfig& c) { c.faults.silentCommands = {"at+csq"}; },
     [](SRunning& r) {
         r.client->Send("AT+CSQ\r\nAT+CSQ?\r\n");  // no letter follows: the same command
         ASSERT_TRUE(r.sim.WaitForCommands(2, 2000ms));
         EXPECT_EQ(r.client->ReadFor(200ms), "");
         EXPECT_EQ(r.client->Exchange("AT+CSQX"), "\r\nERROR\r\n");
     }},
    {"UnsolicitedLines", [](SConfig& c) { c.faults.urcs = {{"RING", 40, 0}, {"+CREG: 1", 70, -1}}; },
     [](SRunning& r) {
         const std::string out = r.client->ReadUntil(
             [](const std::string& s) { return Occurrences(s, "\r\nRING\r\n") >= 3 && Occurrences(s, "\r\n+CREG: 1\r\n") >= 2; });
         EXPECT_EQ(Occurrences(out, "\r\n"), 2 * (Occurrences(out, "RING") + Occurrences(out, "+CREG: 1")));
     }},
    {"GarbageBytes",
     [](SConfig& c) {
         c.faults.garbageEveryMs = 30;
         c.faults.garbageBytes = 5;
     },
     [](SRunning& r) { EXPECT_GE(r.client->ReadUntil([](const std::string& s) { return s.size() >= 10; }).size(), 10u); }},
    {"OversizedAnswer",
     [](SConfig& c) {
         c.faults.oversizeCommands = {"AT+CMGL"};
         c.state.sms = {modemsim::SSms{}};
     },
     [](SRunning& r) {
         const std::string answer = r.client->Exchange("AT+CMGL=4");
         EXPECT_GE(answer.size(), 4200u);
         EXPECT_EQ(answer.compare(0, 10, "\r\n+CMGL: 0"), 0);
         EXPECT_EQ(answer.find("OK"), answer.size() - 4);
     }},
    {"HangUpInTheMiddleOfAnAnswer",
     [](SConfig& c) {
         c.faults.hangup = {"AT+CSQ", 2, 5, 50};
     },
     [](SRunning& r) {
         EXPECT_EQ(r.client->Exchange("AT+CSQ"), "\r\n+CSQ: 23,99\r\n\r\nOK\r\n");
         const std::string old = r.sim.Path();
         r.client->Send("AT+CSQ\r\n");
         EXPECT_EQ(r.client->ReadFor(3000ms), "\r\n+CS");  // the first five bytes
         EXPECT_TRUE(r.client->hungUp);
         ASSERT_TRUE(r.sim.WaitForNewPath(old, 3000ms));
         CClient again(r.sim.Path());
         EXPECT_EQ(again.Exchange("AT+CSQ"), "\r\n+CSQ: 23,99\r\n\r\nOK\r\n");
     }},
    {"FirstCommandAfterIdleFails", [](SConfig& c) { c.faults.idleErrorMs = 150; },
     [](SRunning& r) {
         r.client->Exchange("AT");  // may itself come after the idle time
         EXPECT_EQ(r.client->Exchange("AT"), kOk);
         EXPECT_EQ(r.client->ReadFor(250ms), "");
         EXPECT_EQ(r.client->Exchange("AT"), "\r\nERROR\r\n");
         EXPECT_EQ(r.client->Exchange("AT"), kOk);
     }},
    {"BootWithBusySim", [](SConfig& c) { c.faults.simBusyMs = 800; c.faults.bootLines = true; },
     [](SRunning& r) {
         EXPECT_EQ(r.client->ReadUntilEnds("RDY\r\n"), "\r\nRDY\r\n");
         EXPECT_EQ(r.client->Exchange("AT+CPIN?"), "+CME ERROR: SIM busy\r\n");
         EXPECT_EQ(r.client->ReadUntilEnds("PB DONE\r\n"), "\r\n+CPIN: READY\r\n\r\nSMS DONE\r\n\r\nPB DONE\r\n");
         EXPECT_EQ(r.client->Exchange("AT+CPIN?"), "\r\n+CPIN: READY\r\n" + kOk);
     }},
    {"NoCellAfterPowerUp", [](SConfig& c) { c.faults.noCellMs = 300; },
     [](SRunning& r) {
         EXPECT_EQ(r.client->Exchange("AT+CSQ"), "\r\n+CSQ: 99,99\r\n" + kOk);
         EXPECT_EQ(r.client->Exchange("AT+CGREG?"), "\r\n+CGREG: 0,2\r\n" + kOk);
         std::string answer;
         const auto deadline = Clock::now() + 3s;
         while (Clock::now() < deadline && (answer = r.client->Exchange("AT+CSQ")).find("99,99") != std::string::npos)
             r.client->ReadFor(20ms);
         EXPECT_EQ(answer, "\r\n+CSQ: 23,99\r\n" + kOk);
         EXPECT_EQ(r.client->Exchange("AT+CGREG?"), "\r\n+CGREG: 0,1\r\n" + kOk);
     }},
    {"OverrideOnceThenTheModule",
     [](SConfig& c) {
         c.faults.overrides = {{"AT+CSQ", "\r\n+CSQ: 5,99\r\n\r\nOK\r\n", "\r\n+CREG: 0\r\n", 100, 1}};
     },
     [](SRunning& r) {
         EXPECT_EQ(r.client->Exchange("AT+CSQ"), "\r\n+CSQ: 5,99\r\n" + kOk);
         EXPECT_EQ(r.client->ReadUntilEnds("+CREG: 0\r\n"), "\r\n+CREG: 0\r\n");
         EXPECT_EQ(r.client->Exchange("AT+CSQ"), "\r\n+CSQ: 23,99\r\n" + kOk);
     }},
    {"CarriageReturnAloneEndsALine", [](SConfig&) {},
     [](SRunning& r) {
         r.client->Send("at+cgmm\r");
         EXPECT_EQ(r.client->ReadUntil(Complete), "\r\nSIMCOM_SIM7600G\r\n" + kOk);
         r.client->Send("AT+CSQX\x7f\r\n");  // a backspace from a terminal program
         EXPECT_EQ(r.client->ReadUntil(Complete), "\r\n+CSQ: 23,99\r\n" + kOk);
     }},
};

void PrintTo(const SFaultCase& c, std::ostream* os) { *os << c.name; }

class Fault : public testing::TestWithParam<SFaultCase> {};

TEST_P(Fault, ShowsOnThePort) {
    SConfig config = FastConfig();
    GetParam().setup(config);
    SRunning run(config);
    GetParam().check(run);
}

INSTANTIATE_TEST_SUITE_P(modemsim, Fault, testing::ValuesIn(kFaults),
                         [](const testing::TestParamInfo<SFaultCase>& info) { return info.param.name; });

}  // namespace
