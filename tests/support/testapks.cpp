#include "testapks.h"

#include "files.h"

namespace test {

std::string TestApkPath(const std::string& name) { return ExeDir() + "\\..\\tests\\apk\\" + name + ".apk"; }

std::string TestApk(const std::string& name) { return ReadFileBytes(TestApkPath(name)); }

} // namespace test
