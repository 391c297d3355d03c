// sim7100ctl: stands in for the RTOS side.  It listens, lets sim7100d
// connect and register, sends requests one at a time and shows each response.
#include <unistd.h>

#include <poll.h>
#include <CLI/CLI.hpp>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "ctl_commands.h"
#include "ctl_link.h"
#include "ctl_output.h"
#include "trace_script.h"

#include <editline/readline.h>

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

std::string Frame(const Sim7100FrameHeader& h) {
    return "{length " + std::to_string(h.length) + ", type " + std::to_string(h.type) + "}";
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
        Sim7100FrameHeader header{};
        const EWait registered = m_link.Register(After(m_options.connectTimeout), header, error);
        if (registered == EWait::Timeout) {
            Note("the daemon connected from " + peer + " but sent no registration frame within " +
                 Seconds(m_options.connectTimeout));
            return kExitNoDaemon;
        }
        if (registered == EWait::Stray) {
            Note("expected the registration frame {length 0, type 1}, got " + Frame(header));
            return kExitNoDaemon;
        }
        if (registered != EWait::Ok) {
            Note("the daemon connected from " + peer + " and " +
                 (registered == EWait::Closed ? "closed the link" : error) + " before registering");
            return kExitNoDaemon;
        }
        Note("the daemon connected from " + peer + " and registered");
        return kExitOk;
    }

    // Sends one request and shows its response; false once nothing more can be sent.
    bool Run(const SRequest& request) {
        if (m_broken || m_closed || m_terminated) return false;
        // What sim7100ctl made of the words goes out before the request does.
        for (const std::string& note : request.notes) Note("'" + request.Display() + "': " + note);
        std::string error;
        if (!m_link.Send(request.type, request.payload, error)) {
            Unanswered(request, "not sent", "cannot send " + Named(request) + ": " + error);
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
        SCmdResponseData record{};
        switch (m_link.Receive(After(m_options.timeout), header, record, error)) {
        case EWait::Ok:
            break;
        case EWait::Timeout:
            Unanswered(request, "timeout",
                       "no response to " + Named(request) + " within " + Seconds(m_options.timeout) +
                           " (--timeout); nothing more is sent");
            m_broken = m_unanswered = true;
            return false;
        case EWait::Closed:
            Unanswered(request, "link closed",
                       "the daemon closed the link while " + Named(request) + " waited for its response");
            m_closed = m_unanswered = true;
            return false;
        case EWait::Stray:
            error = Frame(header) + " is no response; nothing more is sent";
            [[fallthrough]];
        case EWait::Failed:
            Unanswered(request, "link fault",
                       "link fault while " + Named(request) + " waited for its response: " + error);
            m_broken = m_unanswered = true;
            return false;
        }
        const SResponse response = DecodeResponse(header.type, record);
        Print(m_options.json ? FormatJson(request, response) + "\n" : FormatHuman(request, response));
        if (response.type != request.type) {
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
        SCmdResponseData record{};
        std::string error;
        switch (m_link.Receive(After(1), header, record, error)) {
        case EWait::Closed:
            Note("the daemon closed the link");
            m_closed = true;
            break;
        case EWait::Ok:
        case EWait::Stray:
            Note("frame nobody asked for: " + Frame(header) +
                 (m_link.InStep() ? "" : "; the link is out of step, nothing more is sent"));
            if (!m_link.InStep()) m_broken = true;
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
    // A request that got no response: said on standard error, and in --json
    // also as an object of its own, so a reader of the output misses none.
    void Unanswered(const SRequest& request, const char* outcome, const std::string& note) const {
        Note(note);
        if (m_options.json) Print(FormatUnanswered(request, outcome, note) + "\n");
    }

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

// Lines of standard input as they come, so a script that waits for the
// daemon's answers can be fed through a pipe; at a terminal, with libedit's
// line editing and history.
class CLineSource {
public:
    enum class EEvent { Line, Link, End };

    // libedit edits only where it also writes to a terminal.
    explicit CLineSource(bool prompt) : m_prompt(prompt), m_edit(prompt && isatty(STDERR_FILENO)) {
        if (m_edit) {
            // Responses go to standard output; the prompt and the echo do not.
            rl_outstream = stderr;
            Install();
        }
    }
    ~CLineSource() {
        if (m_edit) rl_callback_handler_remove();
    }
    CLineSource(const CLineSource&) = delete;
    CLineSource& operator=(const CLineSource&) = delete;

    // Waits for a whole line or for the link to become readable.
    EEvent Next(int linkFd, std::string& line) {
        for (;;) {
            if (TakeLine(line)) return EEvent::Line;
            if (m_ended) return EEvent::End;
            ShowPrompt();
            pollfd fds[2] = {{STDIN_FILENO, POLLIN, 0}, {linkFd, POLLIN, 0}};
            if (poll(fds, 2, -1) < 0) {
                if (errno == EINTR) continue;
                return EEvent::End;
            }
            if (fds[1].revents != 0) {
                if (m_prompt) fputs("\n", stderr);
                m_shown = false;
                return EEvent::Link;
            }
            if (fds[0].revents != 0) Read();
        }
    }

    // After output of its own, the prompt is shown afresh.
    void Redisplay() { ShowPrompt(); }

private:
    static CLineSource*& Current() {
        static CLineSource* current = nullptr;
        return current;
    }
    static void OnLine(char* text) {
        CLineSource* self = Current();
        if (text == nullptr) {
            self->m_ended = true;
            fputs("\n", stderr);
            return;
        }
        if (*text != '\0') add_history(text);
        self->m_lines.push_back(text);
        free(text);  // NOLINT(cppcoreguidelines-no-malloc): libedit hands over a malloc'd line
        self->m_shown = false;
    }
    // Shows the prompt.
    void Install() {
        Current() = this;
        rl_callback_handler_install("sim7100ctl> ", OnLine);
        m_shown = true;
    }

    void ShowPrompt() {
        if (!m_prompt || m_shown) return;
        if (m_edit) {
            rl_callback_handler_remove();
            Install();
            return;
        }
        m_shown = true;
        fputs("sim7100ctl> ", stderr);
        fflush(stderr);
    }

    void Read() {
        if (m_edit) {
            rl_callback_read_char();
            return;
        }
        char chunk[4096];
        const ssize_t n = read(STDIN_FILENO, chunk, sizeof chunk);
        if (n > 0) {
            m_buffer.append(chunk, static_cast<size_t>(n));
            m_shown = false;
        } else if (n == 0 || errno != EINTR) {
            // A last line without its line end still counts.
            if (!m_buffer.empty()) m_lines.push_back(m_buffer);
            m_buffer.clear();
            m_ended = true;
        }
    }

    bool TakeLine(std::string& line) {
        const size_t end = m_buffer.find('\n');
        if (end != std::string::npos) {
            m_lines.push_back(m_buffer.substr(0, end));
            m_buffer.erase(0, end + 1);
        }
        if (m_lines.empty()) return false;
        line = m_lines.front();
        m_lines.erase(m_lines.begin());
        return true;
    }

    bool m_prompt;
    bool m_edit;
    bool m_shown = false;  // the prompt is on the screen
    bool m_ended = false;
    std::string m_buffer;
    std::vector<std::string> m_lines;
};

// Requests line by line as they come.  At the prompt a refused line sends
// nothing and the prompt goes on; in a script it ends the session.
int Interact(CSession& session, bool prompt, const std::string& name) {
    if (prompt) Note("type a command per line ('help' lists them, 'quit' ends)");
    CLineSource source(prompt);
    std::string line;
    for (unsigned number = 1; !session.Over(); ++number) {
        switch (source.Next(session.LinkFd(), line)) {
        case CLineSource::EEvent::End:
            return kExitOk;
        case CLineSource::EEvent::Link:
            session.Unasked();
            --number;
            continue;
        case CLineSource::EEvent::Line:
            break;
        }
        const std::vector<std::string> words = SplitWords(line);
        if (words.empty()) continue;
        if (prompt && (words[0] == "quit" || words[0] == "exit")) return kExitOk;
        if (prompt && words[0] == "help") {
            fputs(words.size() > 1 ? ParseWords({words[1], "--help"}).help.c_str() : CommandSummary().c_str(), stderr);
            continue;
        }
        const SParseOutcome parsed = ParseWords(words);
        if (prompt) {
            if (!parsed.help.empty()) fputs(parsed.help.c_str(), stderr);
            if (!parsed.error.empty()) Note(parsed.error + "; nothing sent");
        } else if (!parsed.Ok()) {
            Note(name + ":" + std::to_string(number) + ": " +
                 (parsed.help.empty() ? parsed.error : "--help is not a request") + "; nothing more is sent");
            return kExitUsage;
        }
        for (const SRequest& r : parsed.requests) {
            // cppcheck-suppress useStlAlgorithm ; sends them in order, stopping where the session ends
            if (!session.Run(r)) break;
        }
        source.Redisplay();
    }
    return kExitOk;
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
               "\nWithout requests and --script: a prompt with line editing and history when standard input\n"
               "is a terminal, else requests are read from standard input line by line as they come.\n"
               "terminate is sent at the end unless --keep-open.\n"
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
    bool lines = false;  // standard input, line by line once the daemon is there
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
    } else {
        lines = true;
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
    if (lines) {
        const int status = Interact(session, options.script.empty() && isatty(STDIN_FILENO), "standard input");
        if (status != kExitOk) {
            session.Finish();
            return status;
        }
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
