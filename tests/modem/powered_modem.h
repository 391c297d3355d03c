// A modem object powered on against a ScriptedModem, for the operation tests,
// and a comparable view of a response record.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "scripted_modem.h"
#include "sim7100.h"

struct SRecord {
    int status;
    int err;
    std::string text;
    bool operator==(const SRecord& o) const { return status == o.status && err == o.err && text == o.text; }
};

inline void PrintTo(const SRecord& r, std::ostream* os) {
    *os << "{" << r.status << ", " << r.err << ", \"" << ::testing::PrintToString(r.text) << "\"}";
}

// The record as status, code and text; the text must end inside its field.
inline SRecord Rec(const SCmdResponse& r) {
    EXPECT_NE(memchr(r.text, '\0', sizeof r.text), nullptr) << "text not terminated";
    return {r.cmdStatus, r.errCode, std::string(r.text, strnlen(r.text, sizeof r.text))};
}

inline SDaemonSettings TestSettings(const std::string& device) {
    SDaemonSettings s;
    s.device = device;
    s.timeScale = 0.01;
    s.traceFile = "/tmp/sim7100d-ops-test-trace.txt";
    s.runShell = [](const char*) { return 0; };
    return s;
}

class PoweredModem : public ::testing::Test {
protected:
    void SetUp() override {
        modem.On("AT\r\n", "\r\nOK\r\n");
        modem.On("AT+CSCLK=1\r\n", "\r\nOK\r\n");
        SDaemonSettings settings = TestSettings(modem.Path());
        settings.runShell = [this](const char* command) {
            shell.emplace_back(command);
            return 0;
        };
        impl = std::make_unique<CSim7100Impl>(settings);
        ASSERT_EQ(impl->PowerOn().cmdStatus, 1);
    }

    // Commands received after PowerOn's two.
    std::vector<std::string> Sent() const {
        std::vector<std::string> all = modem.Commands();
        return std::vector<std::string>(all.begin() + std::min<size_t>(2, all.size()), all.end());
    }

    // Brings the data connection up, as Connect does on a SIM7100E.
    void ConnectLte() {
        modem.On("AT+CGMM\r\n", "\r\nSIMCOM_SIM7100E\r\n\r\nOK\r\n");
        modem.On("AT$QCRMCALL=1,1\r\n", "\r\nOK\r\n");
        ASSERT_EQ(impl->Connect().cmdStatus, 1);
        ASSERT_TRUE(impl->Connected());
    }

    ScriptedModem modem;
    std::vector<std::string> shell;
    std::unique_ptr<CSim7100Impl> impl;  // last: closed before the modem goes
};

// A modem object whose port was never opened.
inline std::unique_ptr<CSim7100Impl> UnpoweredModem() {
    return std::make_unique<CSim7100Impl>(TestSettings("/nonexistent/sim7100d-test-port"));
}
