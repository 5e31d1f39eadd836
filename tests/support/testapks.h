// The test APKs tools/make_test_apks.sh builds from tests/apk (the
// test_apk_files target), for tests that serve them from simulated phones.
#pragma once

#include <string>

namespace test {

// <name>.apk's bytes; empty when it was not built.
std::string TestApk(const std::string& name);

} // namespace test
