// Text files that several processes of the tool append to at once (the
// record of actions, the names cache): appends and rewrites take a lock on
// the file, a line torn by a killed writer is ended before the next append,
// and readers take only whole lines.
#pragma once

#include <functional>
#include <string>

namespace dev {

// %LOCALAPPDATA%\adbtool\<name> (the per-user local application data folder).
std::string ToolDataFile(const char* name);

// Appends `text` (whole lines) in one write under the file's lock, creating
// the file and its folders; after a torn last line it starts a fresh one.
// On failure `error` (when given) says why in the user's words, naming the file.
bool AppendLocked(const std::string& path, const std::string& text, std::string* error = nullptr);

// Replaces the file's content under the same lock.
bool RewriteLocked(const std::string& path, const std::string& text, std::string* error = nullptr);

// Reads the whole file under its lock and hands it to `change`; when that
// returns true the file is rewritten with what it left in `bytes`, still
// under the lock, so no append of another process falls in between.
bool UpdateLocked(const std::string& path, const std::function<bool(std::string& bytes)>& change,
                  std::string* error = nullptr);

// The file's bytes (empty when it does not exist).
std::string ReadShared(const std::string& path);

// The file's size, 0 when it does not exist.
unsigned long long FileSize(const std::string& path);

// Calls `line` for every line that has its end ("\n", a "\r" before it
// dropped); a last line without one is torn and left out.
void ForEachWholeLine(const std::string& bytes, const std::function<void(const std::string&)>& line);

} // namespace dev
