// The production binary takes nothing from its environment: it must not even
// import getenv.  nm reads the dynamic symbol table, stripped or not; the
// cross build's own nm reads the ARM binary.
#include <gtest/gtest.h>
#include <stdio.h>

#include <string>

namespace {

std::string UndefinedSymbols(const std::string& binary) {
    std::string out;
    FILE* nm = popen((std::string(SIM7100_NM) + " -D --undefined-only '" + binary + "'").c_str(), "r");
    if (nm == nullptr) return out;
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, nm)) > 0;) out.append(buffer, n);
    pclose(nm);
    return out;
}

TEST(ProductionBinary, ImportsNoGetenvWhileTheDevBuildDoes) {
    if (std::string(SIM7100_NM).empty()) GTEST_SKIP() << "no nm for this build's binaries";
    // The dev build takes its overrides through getenv: the reading works.
    EXPECT_NE(UndefinedSymbols(SIM7100_E2E_DAEMON_DEV).find("getenv"), std::string::npos);
    const std::string production = UndefinedSymbols(SIM7100_E2E_DAEMON);
    EXPECT_NE(production.find(" socket"), std::string::npos) << production;
    EXPECT_EQ(production.find("getenv"), std::string::npos);
}

}  // namespace
