// The loader refuses files that are not well-formed modules with a message,
// and registers the functions of those that are.
#include <fstream>
#include <string>

#include "core/loader.h"
#include "support.h"

namespace {

std::string fixture(const char* kind) { return std::string(FIXTURE_DIR) + "/" + kind + ".so"; }

TEST(Loader, RefusesWhatIsNotAModule) {
  testhost::Host host;
  const std::string text_file = ::testing::TempDir() + "/plain.so";
  std::ofstream(text_file) << "not an ELF file\n";
  struct Case {
    std::string path;
    const char* message;
  };
  const Case cases[] = {
      {"/nonexistent/module.so", "cannot load"},
      {text_file, "cannot load"},
      {fixture("no_main"), "no mcn_main"},
      {fixture("null_image"), "no image information"},
      {fixture("no_records"), "lists no module records"},
      {fixture("bad_name"), "not NUL-terminated"},
      {fixture("bad_counts"), "argument counts out of order"},
      {fixture("no_items"), "describes no functions"},
      {fixture("no_vector"), "gives no function vector"},
  };
  for (const Case& c : cases) {
    dmcore::Module m;
    std::string error;
    EXPECT_FALSE(dmcore::load_module(host, c.path, m, error)) << c.path;
    EXPECT_NE(error.find(c.message), std::string::npos) << c.path << ": " << error;
    EXPECT_EQ(error.rfind(c.path, 0), 0u) << "the message names the file: " << error;
  }
}

TEST(Loader, RegistersAWellFormedModule) {
  testhost::Host host;
  dmcore::Module m;
  std::string error;
  ASSERT_TRUE(dmcore::load_module(host, fixture("ok"), m, error)) << error;
  EXPECT_EQ(m.name, "fake");
  ASSERT_EQ(m.functions.size(), 1u);
  EXPECT_EQ(m.functions[0].name, "FAKE");
  EXPECT_EQ(m.functions[0].min_args, 2);
  EXPECT_EQ(m.functions[0].max_args, 3);
}

TEST(Loader, DirectoryRegistersEveryFunctionAndReportsBadFiles) {
  testhost::Host host;
  const dmcore::Registry modules =
      dmcore::load_directory(host, std::string(FIXTURE_DIR) + "/../modules");
  EXPECT_TRUE(modules.errors.empty());
  EXPECT_EQ(modules.modules.size(), 2u);
  EXPECT_EQ(modules.functions.count("YRDIF"), 1u);
  EXPECT_EQ(modules.functions.count("DATDIF"), 1u);

  const dmcore::Registry fixtures = dmcore::load_directory(host, FIXTURE_DIR);
  EXPECT_EQ(fixtures.modules.size(), 1u);  // only ok.so is well formed
  EXPECT_EQ(fixtures.errors.size(), 7u);

  const dmcore::Registry none = dmcore::load_directory(host, "/nonexistent");
  ASSERT_EQ(none.errors.size(), 1u);
  EXPECT_TRUE(none.modules.empty());
}

}  // namespace
