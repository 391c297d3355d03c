// GPS, assistance data, registration wait and the module's clock.
#include <cstring>
#include <functional>

#include "powered_modem.h"

namespace {

using Strings = std::vector<std::string>;
using Op = std::function<SCmdResponse(CSim7100Impl&)>;
using Reply = ScriptedModem::Reply;

const std::string kOk = "\r\nOK\r\n";
const std::string kError = "\r\nERROR\r\n";

std::string Creg(int n, int stat) {
    return "\r\n+CGREG: " + std::to_string(n) + "," + std::to_string(stat) + "\r\n\r\nOK\r\n";
}

// Acknowledgement now, result line later: two segments.
Reply TwoPart(const std::string& line) { return {{kOk}, {"\r\n" + line + "\r\n", 30}}; }

SSetClockRequest Clock(const std::string& time) {
    SSetClockRequest r;
    memset(&r, 0, sizeof r);
    memcpy(r.time, time.data(), std::min(time.size(), sizeof r.time));
    return r;
}

SSetTimeServerRequest Server(const std::string& host) {
    SSetTimeServerRequest r;
    memset(&r, 0, sizeof r);
    memcpy(r.server, host.data(), std::min(host.size(), sizeof r.server));
    return r;
}

class GpsOps : public PoweredModem {
protected:
    // Runs op with the given replies and returns its record and commands.
    SRecord Run(const Op& op, const std::vector<std::pair<std::string, Reply>>& script, Strings* sent = nullptr) {
        for (const auto& s : script) modem.On(s.first, s.second);
        const size_t before = Sent().size();
        const SRecord r = Rec(op(*impl));
        if (sent != nullptr) {
            const Strings all = Sent();
            *sent = Strings(all.begin() + before, all.end());
        }
        return r;
    }
};

TEST_F(GpsOps, SingleExchanges) {
    const std::string time39 = "24/05/01,10:00:00+08" + std::string(19, '0');
    const SSetClockRequest clock39 = Clock(time39);
    const struct {
        const char* name;
        Op op;
        std::string command;
        std::string answer;
        SRecord record;
    } cases[] = {
        {"start", [](CSim7100Impl& m) { return m.GpsStart(); }, "AT+CGPSCOLD\r\n", kOk, {1, 0, "GPS Start: " + kOk}},
        {"start refused", [](CSim7100Impl& m) { return m.GpsStart(); }, "AT+CGPSCOLD\r\n", kError,
         {2, -101, "Chip did not answer correctly! '" + kError + "'"}},
        {"stop", [](CSim7100Impl& m) { return m.GpsStop(); }, "AT+CGPS=0\r\n", kOk, {1, 0, "GPS Stop: " + kOk}},
        {"stop refused", [](CSim7100Impl& m) { return m.GpsStop(); }, "AT+CGPS=0\r\n", kError,
         {2, -101, "Chip internal fail! " + kError}},
        // A 39-character value, the most the field holds, goes whole.
        {"clock", [&](CSim7100Impl& m) { return m.SetClock(&clock39); }, "AT+CCLK=\"" + time39 + "\"\r\n", kOk,
         {1, 0, "CLOCK: " + kOk}},
        {"xtra on", [](CSim7100Impl& m) { return m.GpsGetXtraStatus(); }, "AT+CGPSXE?\r\n",
         "\r\n+CGPSXE: 1\r\n\r\nOK\r\n", {1, 1, ""}},
        {"xtra no flag", [](CSim7100Impl& m) { return m.GpsGetXtraStatus(); }, "AT+CGPSXE?\r\n", kOk,
         {2, 0, "AT+CGPSXE: Incorrect response! " + kOk}},
    };
    for (const auto& c : cases) {
        Strings sent;
        EXPECT_EQ(Run(c.op, {{c.command, {{c.answer}}}}, &sent), c.record) << c.name;
        EXPECT_EQ(sent, Strings{c.command}) << c.name;
    }
}

TEST_F(GpsOps, GetInfoAlwaysSwitchesTheOutputOff) {
    modem.SetSplit(0, 0);  // a burst arrives in few reads
    const std::string burst = "\r\n$GPGSV,3,1,12,01,40,083,46*7A\r\n$GPRMC,100000.00,A,3113.7,N,12123.0,E,0.0,,010524,,,A*6C\r\n";
    const Op op = [](CSim7100Impl& m) { return m.GpsGetInfo(); };
    const Strings commands{"AT+CGPSINFOCFG=2,3\r\n", "AT+CGPSINFOCFG=0\r\n"};
    Strings sent;
    // The switch-off is refused (default ERROR): the record does not change.
    EXPECT_EQ(Run(op, {{"AT+CGPSINFOCFG=2,3\r\n", {{kOk}, {burst, 30}}}}, &sent), (SRecord{1, 0, "GPS: " + kOk + burst}));
    EXPECT_EQ(sent, commands);
    EXPECT_EQ(Run(op, {{"AT+CGPSINFOCFG=2,3\r\n", {{kError}}}, {"AT+CGPSINFOCFG=0\r\n", {{kOk}}}}, &sent),
              (SRecord{2, -101, "Chip internal fail! " + kError}));
    EXPECT_EQ(sent, commands);
}

TEST_F(GpsOps, EnableXtraReadsTheFlagBack) {
    const Op op = [](CSim7100Impl& m) { return m.GpsEnableXtra(); };
    Strings sent;
    EXPECT_EQ(Run(op, {{"AT+CGPSXE=1\r\n", {{kOk}}}, {"AT+CGPSXE?\r\n", {{"\r\n+CGPSXE: 1\r\n\r\nOK\r\n"}}}}, &sent),
              (SRecord{1, 1, ""}));
    EXPECT_EQ(sent, (Strings{"AT+CGPSXE=1\r\n", "AT+CGPSXE?\r\n"}));
    EXPECT_EQ(Run(op, {{"AT+CGPSXE=1\r\n", {{kError}}}}, &sent), (SRecord{2, -101, "Chip internal fail! " + kError}));
    EXPECT_EQ(sent, Strings{"AT+CGPSXE=1\r\n"});
}

TEST_F(GpsOps, RegistrationWaitEndings) {
    const std::string success = "Waiting for GPRS registration - success:\r\n";
    const std::string fail = "Waiting for GPRS registration - fail!\r\n";
    const struct {
        const char* name;
        Strings answers;
        SRecord record;
    } cases[] = {
        {"home", {Creg(0, 1)}, {1, 0, success + Creg(0, 1)}},
        {"searching then roaming", {Creg(0, 2), Creg(0, 5)}, {1, 0, success + Creg(0, 2) + Creg(0, 5)}},
        {"denied", {Creg(0, 3)}, {2, 0, fail + Creg(0, 3)}},
        {"n not 0", {Creg(1, 1)}, {2, 0, fail + Creg(1, 1)}},
        {"no state", {kOk}, {2, 0, "AT+CGREG: Incorrect response!\r\n" + kOk}},
        {"refused", {Creg(0, 2), kError}, {2, 0, "Chip internal fail! " + Creg(0, 2) + kError}},
    };
    for (const auto& c : cases) {
        std::vector<std::pair<std::string, Reply>> script;
        for (const auto& a : c.answers) script.push_back({"AT+CGREG?\r\n", {{a}}});
        Strings sent;
        EXPECT_EQ(Run([](CSim7100Impl& m) { return m.WaitGprsRegistration(); }, script, &sent), c.record) << c.name;
        EXPECT_EQ(sent, Strings(c.answers.size(), "AT+CGREG?\r\n")) << c.name;
    }
}

TEST_F(GpsOps, DownloadGivesUpAfterThirtyQueries) {
    modem.SetSplit(0, 0);
    // Long answers: the log fills before the queries end.
    const std::string answer = "\r\n+CGREG: 0,2\r\n\r\n+CPSI: NO SERVICE,Online" + std::string(60, '-') + "\r\n\r\nOK\r\n";
    modem.On("AT+CGREG?\r\n", answer, true);
    std::string log;
    for (int i = 0; i < 30; ++i) log += answer;
    const SRecord r = Rec(impl->GpsDownloadXtra());
    const std::string text =
        "GPRS registration fail!\r\nWaiting for GPRS registration - maximum retries count reached:\r\n" + log;
    EXPECT_EQ(r, (SRecord{2, 0, text.substr(0, 1023)}));

    const auto received = modem.Received();
    ASSERT_EQ(received.size(), 32u);  // PowerOn's two, 30 queries, no download
    for (size_t i = 3; i < received.size(); ++i) {
        EXPECT_EQ(received[i].command, "AT+CGREG?\r\n");
        EXPECT_GE(received[i].at - received[i - 1].at, std::chrono::milliseconds(10)) << "pause before query " << i - 1;
    }
}

TEST_F(GpsOps, DownloadAfterRegistration) {
    modem.SetSplit(0, 0);  // a multi-digit code must arrive whole to be judged whole
    const std::string registered = "Waiting for GPRS registration - success:\r\n" + Creg(0, 1);
    const struct {
        const char* name;
        std::string creg;
        Reply download;
        SRecord record;
    } cases[] = {
        {"done", Creg(0, 1), TwoPart("+CGPSXD: 0"),
         {1, 0, "GPS assistance file download:\r\n" + registered + "\r\n" + kOk + "\r\n+CGPSXD: 0\r\n"}},
        {"failed", Creg(0, 1), TwoPart("+CGPSXD: 2"),
         {2, -101, "Chip internal fail!\r\n" + registered + "\r\n" + kOk + "\r\n+CGPSXD: 2\r\n"}},
        // The code counts as a whole number: 10 is not 0.
        {"code 10", Creg(0, 1), TwoPart("+CGPSXD: 10"),
         {2, -101, "Chip internal fail!\r\n" + registered + "\r\n" + kOk + "\r\n+CGPSXD: 10\r\n"}},
        {"not registered", Creg(0, 3), {},
         {2, 0, "GPRS registration fail!\r\nWaiting for GPRS registration - fail!\r\n" + Creg(0, 3)}},
    };
    for (const auto& c : cases) {
        std::vector<std::pair<std::string, Reply>> script{{"AT+CGREG?\r\n", {{c.creg}}}};
        if (!c.download.empty()) script.push_back({"AT+CGPSXD=0\r\n", c.download});
        Strings sent;
        EXPECT_EQ(Run([](CSim7100Impl& m) { return m.GpsDownloadXtra(); }, script, &sent), c.record) << c.name;
        Strings expected{"AT+CGREG?\r\n"};
        if (!c.download.empty()) expected.push_back("AT+CGPSXD=0\r\n");
        EXPECT_EQ(sent, expected) << c.name;
    }
}

TEST_F(GpsOps, UpdateTimeResultCodes) {
    modem.SetSplit(0, 0);
    const Op op = [](CSim7100Impl& m) { return m.UpdateTime(); };
    const struct {
        const char* name;
        Reply reply;
        SRecord record;
    } cases[] = {
        {"code 0", TwoPart("+CHTPUPDATE: 0"), {1, 0, "HTP UPDATE: " + kOk + "\r\n+CHTPUPDATE: 0\r\n"}},
        {"code 3", TwoPart("+CHTPUPDATE: 3"), {2, -101, "Chip internal fail! " + kOk + "\r\n+CHTPUPDATE: 3\r\n"}},
        {"code 10", TwoPart("+CHTPUPDATE: 10"), {2, -101, "Chip internal fail! " + kOk + "\r\n+CHTPUPDATE: 10\r\n"}},
        // No result line within the budget: the acknowledgement stands.
        {"ack only", {{kOk}}, {1, 0, "HTP UPDATE: " + kOk}},
    };
    for (const auto& c : cases) EXPECT_EQ(Run(op, {{"AT+CHTPUPDATE\r\n", c.reply}}), c.record) << c.name;
}

TEST_F(GpsOps, TimeServerAddsAfterARejectedDelete) {
    const SSetTimeServerRequest server = Server("pool.ntp.org");
    const Op op = [&](CSim7100Impl& m) { return m.SetTimeServer(&server); };
    const Strings commands{"AT+CHTPSERV=\"DEL\",0\r\n", "AT+CHTPSERV=\"ADD\",\"pool.ntp.org\",80,1\r\n"};
    Strings sent;
    EXPECT_EQ(Run(op, {{commands[0], {{kError}}}, {commands[1], {{kOk}}}}, &sent), (SRecord{1, 0, "HTP SERV: " + kOk}));
    EXPECT_EQ(sent, commands);
    EXPECT_EQ(Run(op, {{commands[0], {{kOk}}}, {commands[1], {{kError}}}}, &sent),
              (SRecord{2, -101, "Chip internal fail! " + kError}));
    EXPECT_EQ(sent, commands);
}

TEST(GpsOpsUnpowered, AllRefuse) {
    auto impl = UnpoweredModem();
    const SSetClockRequest clock{};
    const SSetTimeServerRequest server{};
    const Op ops[] = {
        [](CSim7100Impl& m) { return m.GpsStart(); },         [](CSim7100Impl& m) { return m.GpsStop(); },
        [](CSim7100Impl& m) { return m.GpsGetInfo(); },       [](CSim7100Impl& m) { return m.GpsGetXtraStatus(); },
        [](CSim7100Impl& m) { return m.GpsEnableXtra(); },    [&](CSim7100Impl& m) { return m.SetClock(&clock); },
        [](CSim7100Impl& m) { return m.GpsDownloadXtra(); }, [&](CSim7100Impl& m) { return m.SetTimeServer(&server); },
        [](CSim7100Impl& m) { return m.UpdateTime(); },
    };
    for (const Op& op : ops) EXPECT_EQ(Rec(op(*impl)), (SRecord{2, -2, "Chip is not initialized!"}));
}

}  // namespace
