#include "testapks.h"

#include "uidriver.h"

namespace test {

// The build puts them in tests\apk, the folder of the test executables' own.
std::string TestApk(const std::string& name) { return ReadFileBytes(ExeDir() + "\\apk\\" + name + ".apk"); }

} // namespace test
