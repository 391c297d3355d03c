// Answers that come in two parts, the periodic NMEA output, and the fault
// switches: what the daemon sees on its port, and when.
#include <cstdio>

#include "sim_client.h"

namespace {

const std::string kOk = "\r\nOK\r\n", kCsq = "\r\n+CSQ: 23,99\r\n\r\nOK\r\n";

size_t Occurrences(const std::string& text, const std::string& word) {
    size_t n = 0;
    for (size_t at = 0; (at = text.find(word, at)) != std::string::npos; at += word.size()) ++n;
    return n;
}

TEST(modemsim_TwoPart, SecondPartArrivesSeparatelyLater) {
    const std::string fix = "\r\n+CLBS: 0,52.520008,13.404954,550\r\n";
    const std::pair<std::string, std::string> kNetStart = {"AT+CNETSTART", "\r\n+CNETSTART: 0\r\n"};
    const struct {
        const char* name;
        std::function<void(SConfig&)> setup;
        std::vector<std::pair<std::string, std::string>> before;  // commands that set the stage, their later lines
        std::string command, first, second;
    } cases[] = {
        {"XtraDownload", nullptr, {}, "AT+CGPSXD=0", kOk, "\r\n+CGPSXD: 0\r\n"},
        {"LocationOkFirst",
         [](SConfig& c) { c.faults.lbsOrder = modemsim::ELbsOrder::eOkFirst; },
         {kNetStart},
         "AT+CLBS=1",
         kOk,
         fix},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SRunning run(c.setup);
        for (const auto& [command, later] : c.before) {
            run.client->Send(command + "\r\n");
            EXPECT_EQ(run.client->ReadUntilEnds(kOk + later), kOk + later);
        }
        const auto start = Clock::now();
        run.client->Send(c.command + "\r\n");
        EXPECT_EQ(run.client->ReadUntilEnds(c.first), c.first);
        EXPECT_EQ(run.client->ReadUntilEnds(c.second), c.second);
        EXPECT_GE(MsSince(start), 150);
    }
}

TEST(modemsim_Nmea, BurstsFollowTheAcknowledgementUntilSwitchedOff) {
    SRunning run;
    EXPECT_EQ(run.client->Exchange("AT+CGPSCOLD"), kOk);
    run.client->Send("AT+CGPSINFOCFG=2,3\r\n");
    const std::string output =
        run.client->ReadUntil([](const std::string& s) { return Occurrences(s, "$GPRMC") >= 2; });
    // Every sentence framed "$...*hh\r\n" with the XOR of the body as hh.
    int sentences = 0;
    for (size_t at = output.rfind(kOk, 0), star, end;
         (at = output.find('$', at)) != std::string::npos && (star = output.find('*', at)) != std::string::npos &&
         (end = output.find("\r\n", at)) != std::string::npos;
         at = end, ++sentences) {
        unsigned sum = 0, given = 0;
        for (size_t i = at + 1; i < star; ++i) sum ^= static_cast<unsigned char>(output[i]);
        EXPECT_TRUE(end == star + 3 && sscanf(&output[star + 1], "%2X", &given) == 1 && given == sum)
            << output.substr(at, end - at);
    }
    EXPECT_GE(sentences, 10);
    for (const char* kind : {"$GPGGA,", "$GPRMC,", "$GPGSV,", "$GPGSA,", "$GPVTG,", ",A,"})  // a fix while it runs
        EXPECT_NE(output.find(kind), std::string::npos) << kind;
    run.client->Exchange("AT+CGPSINFOCFG=0");
    EXPECT_EQ(run.client->ReadFor(4 * 60ms), "");
}

// Commands the module takes in but never answers.
void ExpectSilence(SRunning& r, const std::string& commands, int total) {
    r.client->Send(commands);
    ASSERT_TRUE(r.sim.WaitForCommands(total, 2000ms));
    EXPECT_EQ(r.client->ReadFor(200ms), "");
}

TEST(modemsim_Fault, ShowsOnThePort) {
    const struct {
        const char* name;
        std::function<void(SConfig&)> setup;
        std::function<void(SRunning&)> check;
    } cases[] = {
        {"LatencyBaudPacingAndOversizedAnswer",
         [](SConfig& c) {
             c.faults.latencyMs = 200, c.faults.baud = 115200;
             c.faults.oversizeCommands = {"AT+CMGL"}, c.state.sms = {modemsim::SSms{}};
         },
         [](SRunning& r) {
             const auto start = Clock::now();
             const std::string answer = r.client->Exchange("AT+CMGL=4");
             EXPECT_GE(MsSince(start), 200 + static_cast<long>(answer.size() * 1000 / 11520) - 20);  // 10 bits a byte
             EXPECT_GE(answer.size(), 4200u);
             EXPECT_EQ(answer.compare(0, 10, "\r\n+CMGL: 0"), 0);
             EXPECT_EQ(answer.find("OK"), answer.size() - 4);
         }},
        {"SplitAnswers", [](SConfig& c) { c.faults.splitBytes = 4, c.faults.splitGapMs = 15; },
         [](SRunning& r) {
             EXPECT_EQ(r.client->Exchange("AT+CSQ"), kCsq);
             EXPECT_GE(r.client->readSizes.size(), 5u);
             for (size_t n : r.client->readSizes) EXPECT_LE(n, 4u);
         }},
        {"SilentForChosenCommands",
         [](SConfig& c) {
             c.faults.silentCommands = {"at+csq", "AT+CGPSXD", "AT+CGM*", ""};
         },
         [](SRunning& r) {
             // A whole name matches when no letter follows it; "*" takes any.
             ExpectSilence(r, "AT+CSQ\r\nAT+CSQ?\r\nAT+CGPSXD=0\r\nAT+CGMR\r\n", 4);
             EXPECT_EQ(r.client->Exchange("AT+CSQX"), "\r\nERROR\r\n");
             EXPECT_EQ(r.client->Exchange("AT+CGPS=0"), kOk);
             EXPECT_EQ(r.client->Exchange("AT"), kOk);
         }},
        {"UnsolicitedLines",
         [](SConfig& c) {
             c.faults.urcs = {{"RING", 40, 0}, {"+CREG: 1", 70, -1}};
         },
         [](SRunning& r) {
             const std::string out = r.client->ReadUntil([](const std::string& s) {
                 return Occurrences(s, "\r\nRING\r\n") >= 3 && Occurrences(s, "\r\n+CREG: 1\r\n") >= 2;
             });
             EXPECT_EQ(Occurrences(out, "\r\n"), 2 * (Occurrences(out, "RING") + Occurrences(out, "+CREG: 1")));
         }},
        {"GarbageBytes", [](SConfig& c) { c.faults.garbageEveryMs = 30, c.faults.garbageBytes = 5; },
         [](SRunning& r) {
             EXPECT_GE(r.client->ReadUntil([](const std::string& s) { return s.size() >= 10; }).size(), 10u);
         }},
        {"HangUpInTheMiddleOfAnAnswer",
         [](SConfig& c) {
             c.faults.hangup = {"AT+CSQ", 2, 5, 50};
         },
         [](SRunning& r) {
             EXPECT_EQ(r.client->Exchange("AT+CSQ"), kCsq);
             const std::string old = r.sim.Path();
             r.client->Send("AT+CSQ\r\n");
             EXPECT_EQ(r.client->ReadFor(3000ms), "\r\n+CS");  // the first five bytes
             EXPECT_TRUE(r.client->hungUp);
             ASSERT_TRUE(r.sim.WaitForNewPath(old, 3000ms));
             EXPECT_EQ(CClient(r.sim.Path()).Exchange("AT+CSQ"), kCsq);
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SRunning run(c.setup);
        c.check(run);
    }
}

}  // namespace
