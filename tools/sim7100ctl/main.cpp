// sim7100ctl: stands in for the RTOS side.  It listens, lets sim7100d
// connect and register, sends requests one at a time and shows each response.
#include <unistd.h>

#include <poll.h>
#include <CLI/CLI.hpp>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>

#include "ctl_commands.h"
#include "ctl_link.h"
#include "ctl_output.h"
#include "trace_script.h"

namespace {

using namespace ctl;

enum EExit {
    kExitOk = 0,
    kExitUnanswered = 1,  // a request got no (proper) response
    kExitUsage = 2,       // bad option or refused request: nothing sent
    kExitNoDaemon = 3,    // no daemon connected and registered
    kExitFailed = 4,      // --strict: a response reported failure
};

struct SOptions {
    unsigned port = 50001;
    std::string address = "127.0.0.1";
    std::string script;
    std::string portFile;
    bool json = false;
    bool keepOpen = false;
    bool strict = false;
    double timeout = 90;
    double connectTimeout = 60;
    std::string trace;
    long traceSession = -1;
    std::string consoleLog;
};

void Note(const std::string& text) { fprintf(stderr, "sim7100ctl: %s\n", text.c_str()); }

void Print(const std::string& text) {
    fwrite(text.data(), 1, text.size(), stdout);
    fflush(stdout);
}

std::string Seconds(double s) {
    char text[32];
    snprintf(text, sizeof text, "%g s", s);
    return text;
}

std::string Named(const SRequest& r) { return "'" + r.Display() + "' (type " + std::to_string(r.type) + ")"; }

class CSession {
public:
    explicit CSession(const SOptions& options) : m_options(options) {}

    // Listens, waits for the daemon and checks its registration frame.
    int Open() {
        std::string error;
        if (!m_link.Listen(m_options.address, static_cast<uint16_t>(m_options.port), error)) {
            Note(error);
            return kExitNoDaemon;
        }
        if (!m_options.portFile.empty() && !WritePortFile()) return kExitNoDaemon;
        Note("listening on " + m_options.address + ":" + std::to_string(m_link.Port()) + ", waiting " +
             (m_options.connectTimeout > 0 ? "up to " + Seconds(m_options.connectTimeout) : "without limit") +
             " for the daemon");
        std::string peer;
        EWait accepted = m_link.Accept(After(m_options.connectTimeout), peer, error);
        if (accepted != EWait::Ok) {
            Note(accepted == EWait::Timeout ? "no daemon connected within " + Seconds(m_options.connectTimeout)
                                            : error);
            return kExitNoDaemon;
        }
        // The header alone decides: a payload announced here may never come.
        Sim7100FrameHeader header{};
        const EWait registered = m_link.ReceiveHeader(After(m_options.connectTimeout), header, error);
        if (registered == EWait::Timeout) {
            Note("the daemon connected from " + peer + " but sent no registration frame within " +
                 Seconds(m_options.connectTimeout));
            return kExitNoDaemon;
        }
        if (registered != EWait::Ok) {
            Note("the daemon connected from " + peer + " and " +
                 (registered == EWait::Closed ? "closed the link" : error) + " before registering");
            return kExitNoDaemon;
        }
        if (header.length != 0 || header.type != SIM7100_MSG_REGISTER) {
            Note("expected the registration frame {length 0, type 1}, got {length " + std::to_string(header.length) +
                 ", type " + std::to_string(header.type) + "}");
            return kExitNoDaemon;
        }
        Note("the daemon connected from " + peer + " and registered");
        return kExitOk;
    }

    // Sends one request and shows its response; false once nothing more can be sent.
    bool Run(const SRequest& request) {
        if (m_broken || m_closed || m_terminated) return false;
        std::string error;
        if (!m_link.Send(request.type, request.payload, error)) {
            Note("cannot send " + Named(request) + ": " + error);
            m_closed = m_unanswered = true;
            return false;
        }
        if (request.endsSession) m_terminated = true;
        if (!request.expectsResponse) {
            const std::string note = request.endsSession ? "sent; the daemon ends and does not answer"
                                                         : "sent; the daemon answers no frame of this type";
            if (m_options.json) {
                Note(Named(request) + " " + note);
            } else {
                Print("  " + std::string(44, '-') + "\n  request   | " + request.Display() + " (type " +
                      std::to_string(request.type) + ")\n  note      | " + note + "\n");
            }
            return true;
        }
        Sim7100FrameHeader header{};
        Bytes payload;
        switch (m_link.Receive(After(m_options.timeout), header, payload, error)) {
        case EWait::Ok:
            break;
        case EWait::Timeout:
            Note("no response to " + Named(request) + " within " + Seconds(m_options.timeout) +
                 " (--timeout); nothing more is sent");
            m_broken = m_unanswered = true;
            return false;
        case EWait::Closed:
            Note("the daemon closed the link while " + Named(request) + " waited for its response");
            m_closed = m_unanswered = true;
            return false;
        case EWait::Failed:
            Note("link fault while " + Named(request) + " waited for its response: " + error);
            m_broken = m_unanswered = true;
            return false;
        }
        const SResponse response = DecodeResponse(header.type, payload);
        Print(m_options.json ? FormatJson(request, response) + "\n" : FormatHuman(request, response));
        if (response.type != request.type || response.length != SIM7100_RESPONSE_SIZE) {
            Note("the response frame does not belong to " + Named(request) + "; nothing more is sent");
            m_broken = m_unanswered = true;
            return false;
        }
        if (response.cmdStatus == SIM7100_STATUS_FAILED) m_failed = true;
        return true;
    }

    bool Over() const { return m_broken || m_closed || m_terminated; }
    int LinkFd() const { return m_link.Fd(); }

    // The link became readable while no request was out: a drop, or a stray frame.
    void Unasked() {
        Sim7100FrameHeader header{};
        Bytes payload;
        std::string error;
        switch (m_link.Receive(After(1), header, payload, error)) {
        case EWait::Closed:
            Note("the daemon closed the link");
            m_closed = true;
            break;
        case EWait::Ok:
            Note("frame nobody asked for: {length " + std::to_string(header.length) + ", type " +
                 std::to_string(header.type) + "}");
            break;
        default:
            Note("link fault: " + (error.empty() ? std::string("incomplete frame") : error));
            m_broken = true;
        }
    }

    int Finish() {
        if (!m_closed && !m_terminated) {
            if (m_options.keepOpen) {
                Note(
                    "--keep-open: terminate not sent. The daemon exits with status 1 when this link closes, "
                    "as designed; sim7100ctl closes it now.");
            } else {
                std::string error;
                if (m_link.Send(SIM7100_MSG_TERMINATE, {}, error)) {
                    m_terminated = true;
                } else {
                    Note("cannot send terminate: " + error);
                    m_closed = true;
                }
            }
        }
        if (m_terminated && !m_closed) {
            const EWait end = m_link.WaitClosed(After(10));
            Note(end == EWait::Closed ? "terminate sent; the daemon closed the link"
                                      : "terminate sent; the daemon has not closed the link within 10 s");
        }
        m_link.Close();
        if (m_unanswered || m_closed) return kExitUnanswered;
        return m_options.strict && m_failed ? kExitFailed : kExitOk;
    }

private:
    bool WritePortFile() {
        const std::string temporary = m_options.portFile + ".tmp";
        std::ofstream out(temporary);
        out << m_link.Port() << "\n";
        out.close();
        if (!out || rename(temporary.c_str(), m_options.portFile.c_str()) != 0) {
            Note("cannot write the port file " + m_options.portFile);
            return false;
        }
        return true;
    }

    const SOptions& m_options;
    CLink m_link;
    bool m_broken = false;      // out of step with the daemon: nothing more can be sent
    bool m_closed = false;      // the daemon's link is down
    bool m_terminated = false;  // terminate went out
    bool m_unanswered = false;
    bool m_failed = false;
};

void Interact(CSession& session) {
    Note("type a command per line ('help' lists them, 'quit' ends)");
    std::string line;
    while (!session.Over()) {
        fputs("sim7100ctl> ", stderr);
        fflush(stderr);
        pollfd fds[2] = {{STDIN_FILENO, POLLIN, 0}, {session.LinkFd(), POLLIN, 0}};
        if (poll(fds, 2, -1) < 0) continue;
        if (fds[1].revents != 0) {
            fputs("\n", stderr);
            session.Unasked();
            continue;
        }
        if (!std::getline(std::cin, line)) {
            fputs("\n", stderr);
            return;
        }
        const std::vector<std::string> words = SplitWords(line);
        if (words.empty()) continue;
        if (words[0] == "quit" || words[0] == "exit") return;
        if (words[0] == "help") {
            fputs(words.size() > 1 ? ParseWords({words[1], "--help"}).help.c_str() : CommandSummary().c_str(), stderr);
            continue;
        }
        const SParseOutcome parsed = ParseWords(words);
        if (!parsed.help.empty()) fputs(parsed.help.c_str(), stderr);
        if (!parsed.error.empty()) Note(parsed.error + "; nothing sent");
        for (const SRequest& r : parsed.requests) {
            // cppcheck-suppress useStlAlgorithm ; sends them in order, stopping where the session ends
            if (!session.Run(r)) break;
        }
    }
}

// Prints the script a trace implies instead of running a session.
int ScriptFromTraceFile(const SOptions& options) {
    std::string script, error;
    std::vector<std::string> warnings;
    if (!ctl::ScriptFromTraceFile(options.trace, options.traceSession, options.consoleLog, script, warnings, error)) {
        Note(error);
        return kExitUsage;
    }
    for (const std::string& warning : warnings) Note(warning);
    Print(script);
    return kExitOk;
}

int Run(int argc, char** argv) {
    SOptions options;
    CLI::App app{
        "Stands in for the RTOS side of sim7100d: listens, waits for the daemon to connect and register, "
        "sends the requests given and prints each response.",
        "sim7100ctl"};
    app.add_option("--port", options.port, "TCP port to listen on; 0 picks a free one")
        ->capture_default_str()
        ->check(CLI::Range(0u, 65535u));
    app.add_option("--listen", options.address, "IPv4 address to listen on")->capture_default_str();
    app.add_option("--script", options.script, "read requests from FILE, one a line, # comments; - for stdin");
    app.add_flag("--json", options.json, "one JSON object per response instead of the readable blocks");
    app.add_option("--timeout", options.timeout, "seconds to wait for each response; 0 waits without limit")
        ->capture_default_str()
        ->check(CLI::NonNegativeNumber);
    app.add_option("--connect-timeout", options.connectTimeout,
                   "seconds to wait for the daemon to connect and register; 0 waits without limit")
        ->capture_default_str()
        ->check(CLI::NonNegativeNumber);
    app.add_flag("--keep-open", options.keepOpen, "do not send terminate at the end");
    app.add_flag("--strict", options.strict, "exit with status 4 when a response reports cmdStatus 2");
    app.add_option("--port-file", options.portFile, "write the port listened on into FILE (for --port 0)");
    CLI::Option* fromTrace = app.add_option("--script-from-trace", options.trace,
                                            "print the request script that the daemon trace FILE implies, and exit");
    app.add_option("--trace-session", options.traceSession,
                   "with --script-from-trace: the session (see modemsim --replay-list; default the last)")
        ->check(CLI::NonNegativeNumber);
    app.add_option("--console-log", options.consoleLog,
                   "with --script-from-trace: the daemon's console output of the same run (a file or the "
                   "journal's text), which names the request types exactly")
        ->needs(fromTrace);
    app.prefix_command();
    app.footer(CommandSummary() +
               "\nWithout requests and --script: a prompt when standard input is a terminal, else requests\n"
               "are read from standard input.  terminate is sent at the end unless --keep-open.\n"
               "Exit status: 0 every request answered, 1 a request went unanswered (time-out, link\n"
               "dropped, wrong frame), 2 usage or refused argument, 3 no daemon registered, 4 --strict\n"
               "and a response reported failure.");
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e) == 0 ? kExitOk : kExitUsage;
    }

    if (!options.trace.empty()) return ScriptFromTraceFile(options);
    const std::vector<std::string> words = app.remaining();
    SParseOutcome parsed;
    bool interactive = false;
    if (!words.empty() && !options.script.empty()) {
        Note("give requests on the command line or with --script, not both");
        return kExitUsage;
    }
    if (!words.empty()) {
        parsed = ParseWords(words);
    } else if (!options.script.empty() && options.script != "-") {
        std::ifstream file(options.script);
        if (!file) {
            Note("cannot read " + options.script);
            return kExitUsage;
        }
        parsed = ParseScript(file, options.script);
    } else if (!options.script.empty() || !isatty(STDIN_FILENO)) {
        parsed = ParseScript(std::cin, "standard input");
    } else {
        interactive = true;
    }
    if (!parsed.help.empty()) {
        Print(parsed.help);
        return kExitOk;
    }
    if (!parsed.error.empty()) {
        Note(parsed.error + "; nothing sent");
        return kExitUsage;
    }

    CSession session(options);
    const int opened = session.Open();
    if (opened != kExitOk) return opened;
    if (interactive) {
        Interact(session);
    } else {
        for (const SRequest& r : parsed.requests) {
            // cppcheck-suppress useStlAlgorithm ; sends them in order, stopping where the session ends
            if (!session.Run(r)) break;
        }
    }
    return session.Finish();
}

}  // namespace

int main(int argc, char** argv) {
    // Only a fault of sim7100ctl itself (out of memory, say) gets here: report
    // it rather than abort.
    try {
        return Run(argc, argv);
    } catch (const std::exception& e) {
        fprintf(stderr, "sim7100ctl: internal error: %s\n", e.what());
    } catch (...) {
        fprintf(stderr, "sim7100ctl: internal error\n");
    }
    return kExitUnanswered;
}
