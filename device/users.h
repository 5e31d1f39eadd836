// Which of a phone's users the shell may reach: a maker's space such as
// Samsung's Secure Folder refuses every package command for it ("Shell does
// not have permission to access user 150"), so its apps can be managed on
// the phone only.
#pragma once

#include <string>
#include <vector>
#include "adb.h"

namespace dev {

// One script that asks the package service once per user for the one
// package every phone has; `api` as for BuildReadScript.
std::string BuildReachScript(const std::vector<int>& users, int api = 0);
// The users of that script's output the shell may not reach.
std::vector<int> ParseUnreachable(const std::string& out);

// The users of the phone the shell may not reach, in one adb run; `error`
// gets what stopped the run, if anything.
std::vector<int> FindUnreachableUsers(const Adb& adb, const std::string& serial, const std::vector<int>& users, int api,
                                      std::string* error);

} // namespace dev
