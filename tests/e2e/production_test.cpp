// The production binary takes nothing from its environment: it must not even
// import getenv.  Read from the dynamic symbol table, so the check needs no
// host tools and works on the ARM binary of the cross build as well.
#include <elf.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <optional>

#include "e2e_rig.h"

namespace e2e {
namespace {

template <typename Ehdr, typename Shdr, typename Sym>
std::optional<std::vector<std::string>> Imports(const std::string& elf) {
    auto fits = [&](size_t offset, size_t size) { return offset <= elf.size() && size <= elf.size() - offset; };
    if (!fits(0, sizeof(Ehdr))) return std::nullopt;
    Ehdr eh;
    memcpy(&eh, elf.data(), sizeof eh);
    if (eh.e_shentsize != sizeof(Shdr) || !fits(eh.e_shoff, size_t{eh.e_shnum} * sizeof(Shdr))) return std::nullopt;
    auto section = [&](size_t i) {
        Shdr sh;
        memcpy(&sh, elf.data() + eh.e_shoff + i * sizeof(Shdr), sizeof sh);
        return sh;
    };
    for (size_t i = 0; i < eh.e_shnum; ++i) {
        const Shdr sym = section(i);
        if (sym.sh_type != SHT_DYNSYM || sym.sh_link >= eh.e_shnum || sym.sh_entsize != sizeof(Sym)) continue;
        const Shdr str = section(sym.sh_link);
        if (!fits(sym.sh_offset, sym.sh_size) || !fits(str.sh_offset, str.sh_size)) return std::nullopt;
        std::vector<std::string> names;
        for (size_t at = 0; at + sizeof(Sym) <= sym.sh_size; at += sizeof(Sym)) {
            Sym s;
            memcpy(&s, elf.data() + sym.sh_offset + at, sizeof s);
            if (s.st_shndx != SHN_UNDEF || s.st_name == 0 || s.st_name >= str.sh_size) continue;
            const char* name = elf.data() + str.sh_offset + s.st_name;
            names.emplace_back(name, strnlen(name, str.sh_size - s.st_name));
        }
        return names;
    }
    return std::nullopt;
}

std::optional<std::vector<std::string>> ImportsOf(const std::string& path) {
    const std::string elf = ReadFile(path);
    if (elf.size() < EI_NIDENT || memcmp(elf.data(), ELFMAG, SELFMAG) != 0 || elf[EI_DATA] != ELFDATA2LSB) {
        return std::nullopt;
    }
    if (elf[EI_CLASS] == ELFCLASS32) return Imports<Elf32_Ehdr, Elf32_Shdr, Elf32_Sym>(elf);
    if (elf[EI_CLASS] == ELFCLASS64) return Imports<Elf64_Ehdr, Elf64_Shdr, Elf64_Sym>(elf);
    return std::nullopt;
}

TEST(ProductionBinary, ImportsNoGetenvWhileTheDevBuildDoes) {
    using ::testing::Contains;
    using ::testing::HasSubstr;
    using ::testing::Not;
    const auto production = ImportsOf(SIM7100_E2E_DAEMON);
    const auto dev = ImportsOf(SIM7100_E2E_DAEMON_DEV);
    ASSERT_TRUE(production && dev) << "no dynamic symbol table read";
    // The reader works: the dev build takes its overrides through getenv.
    EXPECT_THAT(*dev, Contains(HasSubstr("getenv")));
    EXPECT_THAT(*production, Contains("socket"));
    EXPECT_THAT(*production, Not(Contains(HasSubstr("getenv"))));
}

}  // namespace
}  // namespace e2e
