// The operation tests as dialogue tables: each row puts a modem object in a
// state against a ScriptedModem, scripts the module's side of one call and
// states the record, the commands the module received and the shell steps.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "scripted_modem.h"
#include "sim7100.h"

using M = CSim7100Impl;
using Strings = std::vector<std::string>;
using Reply = ScriptedModem::Reply;
using Op = std::function<SCmdResponse(M&)>;

inline const std::string kOk = "\r\nOK\r\n";
inline const std::string kError = "\r\nERROR\r\n";
// The start of the record most refusals carry.
inline const std::string kFail = "Chip internal fail! ";

// An information line and the final OK, as the module answers a query.
inline std::string Line(const std::string& line) { return "\r\n" + line + "\r\n" + kOk; }

// A text-mode listing header of exactly `length` bytes, CR LF included.
inline std::string Header(int index, size_t length = 60) {
    const std::string head = "+CMGL: " + std::to_string(index) + ",\"REC READ\",\"+";
    const std::string tail = "\",,\"24/05/01,10:00:00+08\"\r\n";
    return head + std::string(length - head.size() - tail.size(), '4') + tail;
}

// Port closed / powered on / powered on with the data connection up.
enum EState { kOff, kOn, kUp, kSame };

// `first`, then `later` once the port has read `first`: two reads, or two
// segments, however slow either side runs.
inline Reply TwoReads(const std::string& first, const std::string& later) { return {{first}, {later, 0, false, true}}; }

struct SRecord {
    int status;
    int err;
    std::string text;
};

inline void ExpectRecord(const SCmdResponse& r, const SRecord& e) {
    ASSERT_NE(memchr(r.text, '\0', sizeof r.text), nullptr) << "text not terminated";
    EXPECT_EQ(r.cmdStatus, e.status);
    EXPECT_EQ(r.errCode, e.err);
    EXPECT_EQ(std::string(r.text), e.text);
}

// The trace flag is process-wide: set for one test, left as found.
struct SDebugMode {
    explicit SDebugMode(bool on) { g_debugMode = on; }
    ~SDebugMode() { g_debugMode = saved; }
    const bool saved = g_debugMode;
};

// A modem object on a fresh scripted module, brought to `state`; waits are
// scaled to 3/100 unless told otherwise (exchange budgets of 600 ms, which a
// busy machine holding the module double up does not run out of) and shell
// steps only recorded.
struct SBench {
    explicit SBench(EState state, const std::string& trace = "/tmp/sim7100d-modem-test-trace.txt",
                    double scale = 0.03) {
        modem.SetSplit(0, 0);  // one write per scripted chunk
        SDaemonSettings s;
        s.device = modem.Path();
        s.timeScale = scale;
        s.traceFile = trace;
        s.runShell = [this](const char* command) {
            shell.emplace_back(command);
            shellAt.push_back(modem.Commands().size());
            return shellStatus;
        };
        impl = std::make_unique<CSim7100Impl>(s);
        if (state == kOff) return;
        modem.On("AT\r\n", kOk);
        modem.On("AT+CSCLK=1\r\n", kOk);
        EXPECT_EQ(impl->PowerOn().cmdStatus, 1);
        if (state == kUp) {
            modem.On("AT+CGMM\r\n", "\r\nSIMCOM_SIM7100E\r\n\r\nOK\r\n");
            modem.On("AT$QCRMCALL=1,1\r\n", kOk);
            EXPECT_EQ(impl->Connect().cmdStatus, 1);
        }
        shell.clear();
        shellAt.clear();
        before = modem.Commands().size();
    }
    // Commands received since the bench reached its state.
    Strings Sent() const {
        const Strings all = modem.Commands();
        return Strings(all.begin() + static_cast<long>(before), all.end());
    }
    EState State() const { return !impl->Initialized() ? kOff : impl->Connected() ? kUp : kOn; }

    ScriptedModem modem;
    int shellStatus = 0;  // what every shell step reports
    Strings shell;
    std::vector<size_t> shellAt;  // commands the module had received at each shell step
    size_t before = 0;
    std::unique_ptr<CSim7100Impl> impl;  // last: closed before the module goes
};

struct SStep {
    SStep(std::string c, std::string answer) : command(std::move(c)), reply{{std::move(answer)}} {}
    SStep(std::string c, Reply r) : command(std::move(c)), reply(std::move(r)) {}
    std::string command;  // as the module must receive it
    Reply reply;
};

struct SDialogue {
    const char* name;
    EState pre;
    Op call;
    std::vector<SStep> steps;  // every command, in order; nothing else may be sent
    SRecord record;
    Strings shell = {};
    EState post = kSame;
    int shellStatus = 0;  // what every shell step reports
};

inline void RunDialogues(const std::vector<SDialogue>& rows) {
    for (const SDialogue& d : rows) {
        SCOPED_TRACE(d.name);
        SBench b(d.pre);
        b.shellStatus = d.shellStatus;
        Strings expected;
        for (const SStep& s : d.steps) {
            b.modem.On(s.command, s.reply);
            expected.push_back(s.command);
        }
        ExpectRecord(d.call(*b.impl), d.record);
        EXPECT_EQ(b.Sent(), expected);
        EXPECT_EQ(b.shell, d.shell);
        EXPECT_EQ(b.State(), d.post == kSame ? d.pre : d.post);
    }
}

// Requests: character fields filled from strings, a value as long as its
// field leaving no zero byte.
template <typename T>
T Zeroed() {
    T t;
    memset(&t, 0, sizeof t);
    return t;
}
template <size_t N>
void Put(char (&field)[N], const std::string& value) {
    memcpy(field, value.data(), std::min(value.size(), N));
}
template <typename Req>
Op With(SCmdResponse (CSim7100Impl::*op)(const Req*), Req request) {
    return [op, request](CSim7100Impl& m) { return (m.*op)(&request); };
}
// A request whose one character field holds `value`.
template <typename Req, size_t N>
Op WithField(SCmdResponse (CSim7100Impl::*op)(const Req*), char (Req::*field)[N], const std::string& value) {
    auto r = Zeroed<Req>();
    Put(r.*field, value);
    return With(op, r);
}
