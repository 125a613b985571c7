// The built module files as the dynamic loader sees them: position
// independence, entry point, symbolic binding, run path, needed libraries,
// and exactly the documented exported and imported symbols.
#include <elf.h>

#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "support.h"

namespace {

struct ElfFacts {
  std::uint16_t type = 0;
  std::uint64_t entry = 0;
  std::vector<std::string> needed;
  std::string runpath;
  bool symbolic = false;
  bool textrel = false;
  bool init_code = false;  // DT_INIT, DT_INIT_ARRAY or DT_PREINIT_ARRAY
  std::set<std::string> exported;
  std::set<std::string> imported;
  std::map<std::string, std::uint64_t> object_sizes;  // exported data symbols
  std::uint64_t mcn_main = 0;
};

ElfFacts read_elf(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  const std::vector<char> file((std::istreambuf_iterator<char>(in)),
                               std::istreambuf_iterator<char>());
  ElfFacts f;
  if (file.size() < sizeof(Elf64_Ehdr)) return f;
  const auto* eh = reinterpret_cast<const Elf64_Ehdr*>(file.data());
  f.type = eh->e_type;
  f.entry = eh->e_entry;
  const auto* sh = reinterpret_cast<const Elf64_Shdr*>(file.data() + eh->e_shoff);
  const auto at = [&](std::uint64_t off) { return file.data() + off; };

  for (int i = 0; i < eh->e_shnum; ++i) {
    if (sh[i].sh_type == SHT_DYNAMIC) {
      const char* strtab = at(sh[sh[i].sh_link].sh_offset);
      const auto* dyn = reinterpret_cast<const Elf64_Dyn*>(at(sh[i].sh_offset));
      for (std::size_t k = 0; k < sh[i].sh_size / sizeof(Elf64_Dyn) && dyn[k].d_tag != DT_NULL;
           ++k) {
        switch (dyn[k].d_tag) {
          case DT_NEEDED:
            f.needed.emplace_back(strtab + dyn[k].d_un.d_val);
            break;
          case DT_RUNPATH:
          case DT_RPATH:
            f.runpath = strtab + dyn[k].d_un.d_val;
            break;
          case DT_SYMBOLIC:
            f.symbolic = true;
            break;
          case DT_FLAGS:
            f.symbolic |= (dyn[k].d_un.d_val & DF_SYMBOLIC) != 0;
            f.textrel |= (dyn[k].d_un.d_val & DF_TEXTREL) != 0;
            break;
          case DT_TEXTREL:
            f.textrel = true;
            break;
          case DT_INIT:
          case DT_INIT_ARRAY:
          case DT_PREINIT_ARRAY:
            f.init_code = true;
            break;
          default:
            break;
        }
      }
    }
    if (sh[i].sh_type == SHT_DYNSYM) {
      const char* strtab = at(sh[sh[i].sh_link].sh_offset);
      const auto* sym = reinterpret_cast<const Elf64_Sym*>(at(sh[i].sh_offset));
      for (std::size_t k = 1; k < sh[i].sh_size / sizeof(Elf64_Sym); ++k) {
        const std::string name = strtab + sym[k].st_name;
        if (sym[k].st_shndx == SHN_UNDEF)
          f.imported.insert(name);
        else if (ELF64_ST_BIND(sym[k].st_info) != STB_LOCAL)
          f.exported.insert(name);
        if (sym[k].st_shndx != SHN_UNDEF && ELF64_ST_TYPE(sym[k].st_info) == STT_OBJECT)
          f.object_sizes[name] = sym[k].st_size;
        if (name == "mcn_main") f.mcn_main = sym[k].st_value;
      }
    }
  }
  return f;
}

std::set<std::string> expected_exports(const std::string& module, const std::string& record,
                                       const std::string& impl, bool with_isleap) {
  std::set<std::string> s = {"mcn_main",
                             module,
                             impl,
                             "xfmuent",
                             "himodcn",
                             "tkvercn1",
                             "wzstndx",
                             "wzstrip",
                             "wztxxlt",
                             "wzstlen",
                             "vi_mcn",
                             "mcn_pcns",
                             record,
                             "v_global_gcb_anchor",
                             "v_global_pidb_anchor",
                             "Exported_TKHandle"};
  // Every host service stub, plainly and with its vector and slot (_zjuldat_164_9).
  for (const mcn::ServiceEntry& e : mcn::kServices) {
    s.insert(e.name);
    s.insert("_" + std::string(e.name) + "_" + std::to_string(e.service.vector) + "_" +
             std::to_string(e.service.slot));
  }
  if (with_isleap) s.insert("isleap");
  return s;
}

class Elf : public ::testing::TestWithParam<int> {
 protected:
  void SetUp() override {
#ifdef MCN_SANITIZED
    GTEST_SKIP() << "sanitizer builds link their runtime into the modules";
#endif
  }
};

TEST_P(Elf, ModuleFileHasTheDocumentedShape) {
  const bool pel = GetParam() == 0;
  const ElfFacts f = read_elf(pel ? testing_support::kPelvoran : testing_support::kTashkume);
  EXPECT_EQ(f.type, ET_DYN);
  EXPECT_FALSE(f.textrel) << "position-independent code needs no text relocations";
  ASSERT_NE(f.mcn_main, 0u);
  EXPECT_EQ(f.entry, f.mcn_main) << "the ELF entry point is mcn_main";
  EXPECT_TRUE(f.symbolic);
  EXPECT_EQ(f.runpath, "$ORIGIN");
  EXPECT_EQ(f.needed, std::vector<std::string>{"libc.so.6"});
  EXPECT_FALSE(f.init_code) << "nothing of the module runs at load time";
  EXPECT_EQ(f.exported, pel ? expected_exports("pelvoran", "pcn_PELVORAN", "ufyrdif", true)
                            : expected_exports("tashkume", "pcn_TASHKUME", "ufdatdi", false));
  const std::map<std::string, std::uint64_t> sizes = {{"vi_mcn", 120},
                                                      {"mcn_pcns", 16},
                                                      {pel ? "pcn_PELVORAN" : "pcn_TASHKUME", 80},
                                                      {"v_global_gcb_anchor", 8},
                                                      {"v_global_pidb_anchor", 8},
                                                      {"Exported_TKHandle", 8}};
  EXPECT_EQ(f.object_sizes, sizes);
  EXPECT_EQ(f.exported.count("_zjuldat_164_9"), 1u) << "a stub's second name, as documented";
  // Memory copying and what the loader and toolchain bring, nothing else.
  const std::set<std::string> allowed = {"memcpy",
                                         "memmove",
                                         "memset",
                                         "__cxa_finalize",
                                         "__gmon_start__",
                                         "_ITM_registerTMCloneTable",
                                         "_ITM_deregisterTMCloneTable"};
  for (const std::string& s : f.imported) EXPECT_TRUE(allowed.count(s)) << "imports " << s;
}

INSTANTIATE_TEST_SUITE_P(BothModules, Elf, ::testing::Values(0, 1), [](const auto& param_info) {
  return param_info.param == 0 ? "pelvoran" : "tashkume";
});

}  // namespace
