// The loader refuses files that are not well-formed modules with a message,
// and registers the functions of those that are.
#include <cmath>
#include <fstream>
#include <random>
#include <string>

#include "core/catalogue.h"
#include "core/evaluate.h"
#include "core/explain.h"
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

// The catalogue and the built modules agree: each declaration is registered
// by exactly one module under its name and argument counts, and what it says
// of the function is what the module does, over random pairs: whole days or
// years, AGE among the bases or not, and the basis when it is left out.
TEST(Catalogue, DeclarationsAreWhatTheModulesDo) {
  testhost::Host host;
  const dmcore::Registry modules =
      dmcore::load_directory(host, std::string(FIXTURE_DIR) + "/../modules");
  ASSERT_EQ(modules.functions.size(), dmcore::declaration_count());
  std::mt19937_64 rng(25);
  std::uniform_real_distribution<double> day(-138061, 6589336);
  for (std::size_t i = 0; i < dmcore::declaration_count(); ++i) {
    const dmcore::Declaration& d = dmcore::declaration_at(i);
    SCOPED_TRACE(d.name);
    const auto it = modules.functions.find(d.name);
    ASSERT_NE(it, modules.functions.end());
    const dmcore::Function& f = it->second;
    EXPECT_EQ(f.declared, &d);
    EXPECT_EQ(f.min_args, d.fewest);
    EXPECT_EQ(f.max_args, d.most);

    dmcore::Evaluator age(f), act(f), left_out(f), named(f);
    age.basis(dmcore::Basis::of("AGE"));
    act.basis(dmcore::Basis::of("ACT/ACT"));
    if (dmcore::accepts(f, dmcore::Basis::left_out())) {
      left_out.basis(dmcore::Basis::left_out());
      ASSERT_NE(d.left_out_basis, mcn::kBasisNone);
      named.basis(dmcore::Basis::of(dmcore::basis_name(d.left_out_basis)));
    }
    int fractions = 0;
    for (int k = 0; k < 2000; ++k) {
      const double start = day(rng), end = day(rng);
      double r = 0, r2 = 0;
      ASSERT_EQ(act.run(start, end, &r), dmcore::Cause::kNone);
      fractions += r != std::floor(r);
      EXPECT_EQ(age.run(start, end, &r),
                d.age_basis ? dmcore::Cause::kNone : dmcore::Cause::kBasisUnknown);
      if (dmcore::accepts(f, dmcore::Basis::left_out())) {
        EXPECT_EQ(left_out.run(start, end, &r), dmcore::Cause::kNone);
        EXPECT_EQ(named.run(start, end, &r2), dmcore::Cause::kNone);
        EXPECT_EQ(testing_support::bits(r), testing_support::bits(r2));
      }
    }
    EXPECT_EQ(fractions == 0, d.whole_days);
  }

  // Another module's function is registered, but not declared here.
  dmcore::Module m;
  std::string error;
  ASSERT_TRUE(dmcore::load_module(host, std::string(FIXTURE_DIR) + "/ok.so", m, error)) << error;
  EXPECT_EQ(m.functions.at(0).declared, nullptr);
  EXPECT_EQ(dmcore::declaration("YRDIF", 3, 3), nullptr);  // not with other counts
  EXPECT_EQ(dmcore::declared_names(true), "YRDIF");
  EXPECT_EQ(dmcore::declared_names(), "DATDIF and YRDIF");
}

}  // namespace
