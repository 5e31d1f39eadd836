#include "users.h"

#include <cstdlib>
#include "knowledge/answers.h"
#include "packages.h"
#include "text/text.h"

namespace dev {

namespace {

constexpr DWORD kReachTimeoutMs = 60000;

} // namespace

std::string BuildReachScript(const std::vector<int>& users, int api) {
    std::string script;
    const char* pm = api >= kCmdPackageApi ? "cmd package" : "pm";
    for (int u : users) {
        std::string n = std::to_string(u);
        script += std::string("echo ") + kMarker + "user " + n + ";" + pm + " list packages --user " + n + " android 2>&1;";
    }
    if (!script.empty()) script.pop_back();
    return script;
}

std::vector<int> ParseUnreachable(const std::string& out) {
    std::vector<int> denied;
    const std::string marker = std::string(kMarker) + "user ";
    int user = -1;
    for (const std::string& raw : text::SplitLines(out)) {
        std::string line = text::Trim(raw);
        if (text::StartsWith(line, marker.c_str())) {
            user = std::atoi(line.c_str() + marker.size());
        } else if (user >= 0 && knowledge::ReadAnswer(line) == knowledge::Answer::UserDenied) {
            denied.push_back(user);
            user = -1;   // once per user
        }
    }
    return denied;
}

std::vector<int> FindUnreachableUsers(const Adb& adb, const std::string& serial, const std::vector<int>& users, int api,
                                      std::string* error) {
    if (users.empty()) return {};
    AdbRun how;
    how.timeoutMs = kReachTimeoutMs;
    AdbResult r = adb.Shell(serial, BuildReachScript(users, api), how);
    if (error) *error = RunFailure(r);
    return ParseUnreachable(r.out + r.err);
}

} // namespace dev
