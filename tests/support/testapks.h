// The test APKs tools/make_test_apks.sh builds from tests/apk (the
// test_apk_files target) into the build's tests\apk, for the tests and
// benchmarks that serve them from simulated phones.
#pragma once

#include <string>

namespace test {

// Where <name>.apk is: the test and benchmark executables sit one folder
// below the build (tests\, bench\), beside tests\apk.
std::string TestApkPath(const std::string& name);
// <name>.apk's bytes; empty when it was not built.
std::string TestApk(const std::string& name);

} // namespace test
