// The phone's sh, as far as a program's scripts need it: commands separated
// by `;`, new lines, `&&`, `||` and `&` (with `wait`), single and double
// quotes, backslash escapes, `$?`, and the redirections `>/dev/null`,
// `2>/dev/null`, `2>&1` and `>&2`. Pipes between phone commands are not
// modelled (the tools pipe on the Windows side).
#include <cstdlib>
#include <memory>
#include "sim.h"

namespace sim {

namespace {

const char kStatus = '\x01';   // stands for `$?` until the command runs

struct Command {
    std::vector<std::string> words;
    int outTo = 1;                 // 0: discarded, 1: stdout, 2: stderr
    int errTo = 2;
    std::string before;            // the operator joining it to the previous one
    bool background = false;
};

// Splits a script into commands; false with a message on a syntax error.
bool Parse(const std::string& s, std::vector<Command>* commands, std::string* error) {
    Command cur;
    std::string word;
    bool inWord = false;
    int redirect = 0;              // the stream whose target the next word names
    auto endWord = [&]() {
        if (!inWord) return;
        if (redirect) {
            int to = word == "&1" ? 1 : word == "&2" ? 2 : 0;
            (redirect == 1 ? cur.outTo : cur.errTo) = to;
            redirect = 0;
        } else {
            cur.words.push_back(word);
        }
        word.clear();
        inWord = false;
    };
    auto endCommand = [&](const std::string& op) -> bool {
        endWord();
        if (cur.words.empty()) {
            if (op == "\n") return true;   // a new line may follow `&&` or `||`
            if (op.empty() && cur.before != "&&" && cur.before != "||") return true;
            *error = op.empty() ? "syntax error: unexpected end of file" : "syntax error: '" + op + "' unexpected";
            return false;
        }
        if (op == "&") cur.background = true;
        commands->push_back(cur);
        cur = Command();
        cur.before = op == "&&" || op == "||" ? op : ";";
        return true;
    };
    for (size_t i = 0; i < s.size(); i++) {
        char c = s[i];
        if (c == '\'') {
            size_t e = s.find('\'', i + 1);
            if (e == std::string::npos) return *error = "no closing quote", false;
            word += s.substr(i + 1, e - i - 1);
            inWord = true;
            i = e;
        } else if (c == '"') {
            size_t k = i + 1;
            for (; k < s.size() && s[k] != '"'; k++) {
                if (s[k] == '\\' && k + 1 < s.size() && (s[k + 1] == '"' || s[k + 1] == '\\' || s[k + 1] == '$')) {
                    word += s[++k];
                } else if (s[k] == '$' && k + 1 < s.size() && s[k + 1] == '?') {
                    word += kStatus;
                    k++;
                } else {
                    word += s[k];
                }
            }
            if (k >= s.size()) return *error = "no closing quote", false;
            inWord = true;
            i = k;
        } else if (c == '\\' && i + 1 < s.size()) {
            if (s[i + 1] != '\n') word += s[i + 1], inWord = true;
            i++;
        } else if (c == '$' && i + 1 < s.size() && s[i + 1] == '?') {
            word += kStatus;
            inWord = true;
            i++;
        } else if (c == '#' && !inWord) {
            while (i + 1 < s.size() && s[i + 1] != '\n') i++;
        } else if (c == ' ' || c == '\t' || c == '\r') {
            endWord();
        } else if (c == '>' || ((c == '1' || c == '2') && !inWord && i + 1 < s.size() && s[i + 1] == '>')) {
            endWord();
            redirect = c == '2' ? 2 : 1;
            if (c != '>') i++;
            if (i + 1 < s.size() && s[i + 1] == '>') i++;
            if (i + 1 < s.size() && s[i + 1] == '&') {
                inWord = true;
                word = "&";
                i++;
            }
        } else if (c == ';' || c == '\n' || c == '&' || c == '|') {
            std::string op(1, c);
            if ((c == '&' || c == '|') && i + 1 < s.size() && s[i + 1] == c) op += s[++i];
            if (op == "|") return *error = "pipes between phone commands are not simulated", false;
            if (!endCommand(op)) return false;
        } else {
            word += c;
            inWord = true;
        }
    }
    return endCommand("");
}

std::string Expand(const std::string& w, int status) {
    std::string out;
    for (char c : w) {
        if (c == kStatus) out += std::to_string(status);
        else out += c;
    }
    return out;
}

} // namespace

// Sources (AOSP frameworks/base): cmds/pm/pm was
// `exec app_process $base/bin com.android.commands.pm.Pm "$@"` (Pm.java, a
// Java VM per call) up to Android 8.1; from Android 9 (API 28) it is
// `#!/system/bin/sh` + `cmd package "$@"` (cmds/pm/pm, later pm.sh as an
// sh_binary): a shell and the native client. cmds/settings/settings ran
// SettingsCmd through app_process before Android 8 and is `cmd settings "$@"`
// (settings.sh) from Android 8.0 (API 26). cmd itself (frameworks/native
// cmds/cmd) exists from Android 7.0 (API 24); getprop and dumpsys are native.
DWORD Device::StartMs(const std::string& name) const {
    if (name == "pm") return api <= 27 ? vmMs : scriptMs + commandMs;
    if (name == "settings") return api <= 25 ? vmMs : scriptMs + commandMs;
    if ((name == "cmd" && api >= 24) || name == "getprop" || name == "dumpsys") return commandMs;
    return 0;
}

namespace {

struct Script;

struct Job {
    Script* script;
    Device device;                 // a job's own copy: it changes as the job runs
    std::vector<std::string> words;
    int outTo, errTo;
    int status = 0;
    HANDLE thread = nullptr;
};

struct Script {
    Store& store;
    const std::function<void(int, const std::string&)>& emit;
    CRITICAL_SECTION lock;
    std::vector<std::unique_ptr<Job>> jobs;

    void Deliver(int to, const std::string& text) {
        if (to == 0 || text.empty()) return;
        EnterCriticalSection(&lock);
        emit(to, text);
        LeaveCriticalSection(&lock);
    }

    int Run(Device& device, const std::vector<std::string>& w, int outTo, int errTo, bool* exitNow) {
        Io io;
        int status = 0;
        const std::string& name = w[0];
        std::vector<std::string> args(w.begin() + 1, w.end());
        if (name == "echo") {
            size_t first = !args.empty() && args[0] == "-n" ? 1 : 0;
            for (size_t k = first; k < args.size(); k++) io.out += (k > first ? " " : "") + args[k];
            if (first == 0) io.out += "\n";
        } else if (name == "true" || name == ":") {
        } else if (name == "false") {
            status = 1;
        } else if (name == "exit") {
            *exitNow = true;
            status = args.empty() ? 0 : std::atoi(args[0].c_str()) & 0xFF;
        } else if (name == "wait") {
            Wait();
        } else if (name == "sleep") {
            Sleep(static_cast<DWORD>(std::atof(args.empty() ? "0" : args[0].c_str()) * 1000));
        } else {
            Sleep(device.StartMs(name));
            status = RunProgram(device, name, args, io);
        }
        Deliver(outTo, io.out);
        Deliver(errTo, io.err);
        return status;
    }

    int RunProgram(Device& device, const std::string& name, const std::vector<std::string>& args, Io& io) {
        int status = 0;
        if (name == "pm") {
            status = PackageCommand(store, device, args, true, io);
        } else if (name == "cmd" && device.api >= 24) {
            std::vector<std::string> rest(args.begin() + (args.empty() ? 0 : 1), args.end());
            if (!args.empty() && args[0] == "package") {
                status = PackageCommand(store, device, rest, false, io);
            } else if (!args.empty() && args[0] == "settings" && device.api >= 26) {
                status = Settings(device, rest, io);
            } else {
                io.err += "cmd: Can't find service: " + (args.empty() ? std::string() : args[0]) + "\n";
                status = 20;
            }
        } else if (name == "getprop") {
            status = GetProp(device, args, io);
        } else if (name == "settings") {
            status = Settings(device, args, io);
        } else if (name == "dumpsys") {
            status = Dumpsys(device, args, io);
        } else {
            io.err += "/system/bin/sh: " + name + (device.api >= 24 ? ": inaccessible or not found\n" : ": not found\n");
            status = 127;
        }
        return status;
    }

    static DWORD WINAPI JobMain(void* param) {
        Job* job = static_cast<Job*>(param);
        bool exitNow = false;
        job->status = job->script->Run(job->device, job->words, job->outTo, job->errTo, &exitNow);
        return 0;
    }

    void Start(const Device& device, const Command& c, const std::vector<std::string>& words) {
        jobs.emplace_back(new Job{this, device, words, c.outTo, c.errTo});
        Job* job = jobs.back().get();
        job->thread = CreateThread(nullptr, 256 * 1024, JobMain, job, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
        if (!job->thread) JobMain(job);
    }

    void Wait() {
        for (auto& job : jobs)
            if (job->thread) {
                WaitForSingleObject(job->thread, INFINITE);
                CloseHandle(job->thread);
                job->thread = nullptr;
            }
    }
};

} // namespace

int RunScript(Store& store, Device& device, const std::string& script,
              const std::function<void(int stream, const std::string&)>& emit) {
    std::vector<Command> commands;
    std::string error;
    if (!Parse(script, &commands, &error)) {
        emit(2, "/system/bin/sh: " + error + "\n");
        return 1;
    }
    Script run{store, emit, {}, {}};
    InitializeCriticalSection(&run.lock);
    int status = 0;
    for (const Command& c : commands) {
        if ((c.before == "&&" && status != 0) || (c.before == "||" && status == 0)) continue;
        std::vector<std::string> words;
        for (const std::string& w : c.words) words.push_back(Expand(w, status));
        if (c.background) {
            run.Start(device, c, words);
            status = 0;
            continue;
        }
        bool exitNow = false;
        status = run.Run(device, words, c.outTo, c.errTo, &exitNow);
        if (exitNow) break;
    }
    // The session ends when the last job that holds its output ends.
    run.Wait();
    DeleteCriticalSection(&run.lock);
    return status;
}

} // namespace sim
