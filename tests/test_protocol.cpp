// The host protocol through the built modules: mcn_main, the records the host
// walks, the descriptors of request types 1 and 2, allocator failure, the
// version block and the service stubs, byte for byte.
#include <array>
#include <climits>
#include <cstring>
#include <ctime>
#include <functional>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include "core/loader.h"
#include "support.h"
#include "tests/instruments/arguments.h"

namespace {

using testing_support::RawModule;

struct ModuleFacts {
  const char* path;
  const char* name;
  const char* record_symbol;
  const char* function;
  const char* impl;
  std::uint16_t min_args, max_args;
  std::uint32_t code;
};

const ModuleFacts kModules[] = {
    {testing_support::kPelvoran, "pelvoran", "pcn_PELVORAN", "YRDIF", "ufyrdif", 2, 3, 0x2201EA2B},
    {testing_support::kTashkume, "tashkume", "pcn_TASHKUME", "DATDIF", "ufdatdi", 3, 3, 0x021380C1},
};

template <typename T>
void put(std::vector<unsigned char>& bytes, std::size_t offset, T value) {
  std::memcpy(bytes.data() + offset, &value, sizeof value);
}

std::vector<unsigned char> bytes_of(const void* p, std::size_t n) {
  const auto* b = static_cast<const unsigned char*>(p);
  return {b, b + n};
}

class Protocol : public ::testing::TestWithParam<ModuleFacts> {
 protected:
  testhost::Host host;
};

TEST_P(Protocol, McnMainStoresGlobalsAndReturnsImageInformation) {
  const ModuleFacts& m = GetParam();
  RawModule mod(m.path);
  auto& gcb = mod.data<void*>("v_global_gcb_anchor");
  auto& pidb = mod.data<void*>("v_global_pidb_anchor");
  auto& tk = mod.data<std::uint64_t>("Exported_TKHandle");
  EXPECT_EQ(gcb, nullptr);
  EXPECT_EQ(pidb, nullptr);
  EXPECT_EQ(tk, 0u);

  host.record_calls(true);
  const mcn::ImageInfo* image = mod.init(host);
  EXPECT_EQ(image, mod.symbol("vi_mcn"));
  EXPECT_EQ(gcb, host.gcb());
  EXPECT_EQ(pidb, host.pidb());
  EXPECT_EQ(tk, testhost::Host::kTkHandle);
  EXPECT_TRUE(host.calls().empty());
  EXPECT_EQ(host.allocation_count(), 0u);
  mod.function<void (*)()>("himodcn")();  // no effect, no host call
  EXPECT_TRUE(host.calls().empty());
}

TEST_P(Protocol, ModuleRecordAndListByteForByte) {
  const ModuleFacts& m = GetParam();
  RawModule mod(m.path);
  const void* record = mod.symbol(m.record_symbol);
  ASSERT_NE(record, nullptr);

  std::vector<unsigned char> expected(80, 0);
  const unsigned char head[8] = {0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  std::memcpy(expected.data(), head, 8);
  put<std::uint64_t>(expected, 8, 1024);
  put<std::uint64_t>(expected, 16, 1024);
  std::memcpy(expected.data() + 24, m.name, std::strlen(m.name));
  put<const void*>(expected, 40, mod.symbol(m.name));
  put<std::uint64_t>(expected, 48, 1);
  put<std::uint64_t>(expected, 56, 9683);
  put<std::uint32_t>(expected, 64, m.code);
  put<std::uint64_t>(expected, 72, 15);
  EXPECT_EQ(bytes_of(record, 80), expected);

  const auto* list = static_cast<const void* const*>(mod.symbol("mcn_pcns"));
  EXPECT_EQ(list[0], record);
  EXPECT_EQ(list[1], nullptr);
  const auto* image = static_cast<const mcn::ImageInfo*>(mod.symbol("vi_mcn"));
  EXPECT_EQ(static_cast<const void*>(image->pcns), list);
}

TEST_P(Protocol, ItemDescriptorsAreFreshAndShareTheItemTable) {
  const ModuleFacts& m = GetParam();
  RawModule mod(m.path);
  mod.init(host);
  const auto entry = mod.function<mcn::ModuleEntry>(m.name);
  void* first = entry(mcn::kRequestItems);
  void* second = entry(mcn::kRequestItems);
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  EXPECT_NE(first, second);

  const auto allocations = host.allocations();
  ASSERT_EQ(allocations.size(), 2u);
  for (const testhost::Allocation& a : allocations) {
    EXPECT_EQ(a.size, 16u);
    EXPECT_EQ(a.flags, 8198);
  }
  for (void* d : {first, second}) {
    std::vector<unsigned char> expected(16, testhost::Host::kFreshByte);
    put<std::int32_t>(expected, 0, 1);
    put<const void*>(expected, 8, static_cast<const mcn::ItemDescriptor*>(first)->items);
    EXPECT_EQ(bytes_of(d, 16), expected);
  }
  const mcn::FunctionItem* items = static_cast<const mcn::ItemDescriptor*>(first)->items;
  EXPECT_EQ(items, static_cast<const mcn::ItemDescriptor*>(second)->items);

  std::vector<unsigned char> item(56, 0);
  std::memcpy(item.data(), m.function, std::strlen(m.function));
  put<std::uint16_t>(item, 28, m.min_args);
  put<std::uint16_t>(item, 30, m.max_args);
  item[32] = 0x42;
  item[48] = 0x89;
  EXPECT_EQ(bytes_of(items, 56), item);
}

TEST_P(Protocol, FunctionVectorHoldsTheImplementation) {
  const ModuleFacts& m = GetParam();
  RawModule mod(m.path);
  mod.init(host);
  void* vector = mod.function<mcn::ModuleEntry>(m.name)(mcn::kRequestVector);
  ASSERT_NE(vector, nullptr);
  const auto allocations = host.allocations();
  ASSERT_EQ(allocations.size(), 1u);
  EXPECT_EQ(allocations[0].size, 16u);
  EXPECT_EQ(allocations[0].flags, 8198);
  std::vector<unsigned char> expected(16, testhost::Host::kFreshByte);
  put<const void*>(expected, 8, mod.symbol(m.impl));
  EXPECT_EQ(bytes_of(vector, 16), expected);
}

TEST_P(Protocol, OtherRequestTypesYieldNullWithoutTouchingTheHost) {
  const ModuleFacts& m = GetParam();
  RawModule mod(m.path);
  mod.init(host);
  host.record_calls(true);
  const auto entry = mod.function<mcn::ModuleEntry>(m.name);
  const auto xfmuent = mod.function<Xfmuent>("xfmuent");
  for (std::int32_t type : {0, 3, -1, 4, INT_MIN, INT_MAX}) {
    EXPECT_EQ(entry(type), nullptr) << type;
    EXPECT_EQ(xfmuent(type, 1, nullptr, nullptr), nullptr) << type;
  }
  EXPECT_EQ(host.allocation_count(), 0u);
  EXPECT_TRUE(host.calls().empty());
}

TEST_P(Protocol, AllocatorFailureEndsThroughXexit) {
  const ModuleFacts& m = GetParam();
  RawModule mod(m.path);
  mod.init(host);
  host.record_calls(true);
  host.fail_allocations(true);
  const auto entry = mod.function<mcn::ModuleEntry>(m.name);
  EXPECT_EQ(entry(mcn::kRequestItems), nullptr);
  EXPECT_EQ(entry(mcn::kRequestVector), nullptr);
  const auto calls = host.calls();
  ASSERT_EQ(calls.size(), 2u);
  for (const testhost::ServiceCall& c : calls) {
    EXPECT_EQ(c.id, (39ull << 32) | 4);
    EXPECT_EQ(static_cast<std::int32_t>(c.words[0]), 1016);
    EXPECT_EQ(static_cast<std::int32_t>(c.words[1]), 0);
    EXPECT_EQ(c.flag_seen, 0) << "the stub clears the vector's flag byte";
  }
}

TEST_P(Protocol, XfmuentSizesVectorsByCountAndRefusesNegativeCounts) {
  const ModuleFacts& m = GetParam();
  RawModule mod(m.path);
  mod.init(host);
  const auto xfmuent = mod.function<Xfmuent>("xfmuent");
  host.record_calls(true);
  for (std::int32_t type : {1, 2}) {
    EXPECT_EQ(xfmuent(type, -1, nullptr, nullptr), nullptr);
    EXPECT_EQ(xfmuent(type, INT_MIN, nullptr, nullptr), nullptr);
  }
  EXPECT_EQ(host.allocation_count(), 0u);
  EXPECT_TRUE(host.calls().empty());

  void* empty = xfmuent(2, 0, nullptr, nullptr);  // nothing to copy
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(bytes_of(empty, 8), std::vector<unsigned char>(8, testhost::Host::kFreshByte));

  const mcn::ImplEntry three[3] = {reinterpret_cast<mcn::ImplEntry>(0x1000),
                                   reinterpret_cast<mcn::ImplEntry>(0x2000),
                                   reinterpret_cast<mcn::ImplEntry>(0x3000)};
  void* vector = xfmuent(2, 3, nullptr, three);
  ASSERT_NE(vector, nullptr);
  EXPECT_EQ(host.allocations().back().size, 32u);
  EXPECT_EQ(std::memcmp(static_cast<char*>(vector) + 8, three, sizeof three), 0);

  const auto* items = reinterpret_cast<const mcn::FunctionItem*>(0x4000);
  void* descriptor = xfmuent(1, 7, items, nullptr);
  ASSERT_NE(descriptor, nullptr);
  EXPECT_EQ(static_cast<mcn::ItemDescriptor*>(descriptor)->count, 7);
  EXPECT_EQ(static_cast<mcn::ItemDescriptor*>(descriptor)->items, items);
}

// A moment as the version block writes it, "Www Mmm dd hh:mm:ss ZZZ yyyy":
// in UTC when the stamp says so (builds with SOURCE_DATE_EPOCH, or in a zone
// of no three-letter name), else in the local time zone that the build and
// this test share.
std::string stamp_text(std::time_t moment, bool utc) {
  std::tm tm{};
  if (utc)
    gmtime_r(&moment, &tm);
  else
    localtime_r(&moment, &tm);
  char text[64];
  const std::size_t n = std::strftime(
      text, sizeof text, utc ? "%a %b %d %H:%M:%S UTC %Y" : "%a %b %d %H:%M:%S %Z %Y", &tm);
  return std::string(text, n);
}

TEST_P(Protocol, VersionBlockIsCopiedWholeEvenBeforeMcnMain) {
  const ModuleFacts& m = GetParam();
  RawModule mod(m.path);
  ASSERT_EQ(mod.data<void*>("v_global_gcb_anchor"), nullptr) << "must run before mcn_main";
  unsigned char area[208 + 16];
  std::memset(area, 0xCC, sizeof area);
  EXPECT_EQ(mod.function<TkVercn1>("tkvercn1")(area), 0);
  EXPECT_EQ(std::vector<unsigned char>(area + 208, area + sizeof area),
            std::vector<unsigned char>(16, 0xCC))
      << "tkvercn1 writes 208 bytes and no more";

  mcn::VersionBlock v;
  std::memcpy(&v, area, sizeof v);
  for (std::uint64_t z : v.zero) EXPECT_EQ(z, 0u);
  EXPECT_TRUE(std::regex_match(v.release, std::regex("[0-9]\\.[0-9]{2}[A-Za-z0-9.]{14}")));
  for (const char* empty : {v.empty2, v.empty8, v.empty11}) EXPECT_STREQ(empty, "");
  EXPECT_STREQ(v.base, "base");
  EXPECT_STREQ(v.fnc, "fnc");
  EXPECT_STREQ(v.version, "version");
  EXPECT_STREQ(v.separator, "::");
  EXPECT_EQ(std::strlen(v.module_ident), 8u);
  EXPECT_EQ(std::strlen(v.shared_ident), 19u);
  const std::size_t build_ident = std::strlen(v.build_ident);
  EXPECT_TRUE(build_ident == 18 || build_ident == 19);
  for (const char* ident : {v.module_ident, v.shared_ident, v.build_ident})
    EXPECT_TRUE(std::regex_match(ident, std::regex("[!-~]+"))) << ident;
  EXPECT_STRNE(v.build_path, "");
  EXPECT_STRNE(v.build_host, "");

  const std::string hotfix = v.hotfix, description = v.description;
  EXPECT_EQ(hotfix, "ZEM_VERSION_HOTFIX_NUMBER=" + std::string(39, ' '));
  EXPECT_EQ(description, "VERCON_IMAGE_DESCRIPTION=" + std::string(40, ' '));

  // Word 3 and word 16 name the same moment.
  EXPECT_EQ(std::strlen(v.build_stamp), 28u);
  EXPECT_TRUE(std::regex_match(v.build_stamp,
                               std::regex("(Mon|Tue|Wed|Thu|Fri|Sat|Sun) [A-Z][a-z]{2} [0-9]{2} "
                                          "[0-9]{2}:[0-9]{2}:[0-9]{2} [A-Z]{3} [0-9]{4}")))
      << v.build_stamp;
  EXPECT_EQ(v.build_time >> 32, 0u);
  const bool utc = std::string(v.build_stamp).substr(20, 3) == "UTC";
  EXPECT_EQ(stamp_text(static_cast<std::time_t>(v.build_time), utc), v.build_stamp);

  // The image information agrees with the version block.
  const auto* image = static_cast<const mcn::ImageInfo*>(mod.symbol("vi_mcn"));
  std::vector<unsigned char> head(40, 0);
  std::memcpy(head.data(), "ZEM_Image_Information=", 22);
  const unsigned char magic[8] = {0xED, 0xEB, 0xBD, 0xB0, 0, 0, 0, 0};
  std::memcpy(head.data() + 24, magic, 8);
  put<std::uint64_t>(head, 32, 8);
  EXPECT_EQ(bytes_of(image, 40), head);
  std::vector<unsigned char> release_short(6, 0), release(20, 0), level(8, 0);
  std::memcpy(release_short.data(), v.release, 4);
  std::memcpy(release.data(), v.release, 16);
  std::memcpy(level.data(), "001", 3);
  EXPECT_EQ(bytes_of(image->release_short, 6), release_short);
  EXPECT_EQ(bytes_of(image->release, 20), release);
  EXPECT_EQ(bytes_of(image->level, 8), level);
  const std::string date = dmcore::field_text(image->build_date, 30);
  EXPECT_EQ(bytes_of(image->build_date + 11, 19), std::vector<unsigned char>(19, 0));
  // The build date is the date part of the build stamp: "Mmm dd yyyy".
  const std::string stamp = v.build_stamp;
  EXPECT_EQ(date, stamp.substr(4, 7) + stamp.substr(24, 4));
  EXPECT_EQ(std::string(image->copyright).find('\n'), std::string::npos);
  EXPECT_FALSE(std::string(image->copyright).empty());
}

INSTANTIATE_TEST_SUITE_P(BothModules, Protocol, ::testing::ValuesIn(kModules),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

// Each stub's type, from the service list: stub_wzstrlo and so on.
#define MCN_STUB_TYPE(name, vector, slot, result, params, args) \
  using stub_##name = result(*) params;
MCN_SERVICES(MCN_STUB_TYPE)
#undef MCN_STUB_TYPE

// What the host is to see of one call: its integer and pointer arguments, in
// order, and its floating-point argument.
struct Seen {
  std::array<std::uint64_t, 5> words;
  double value;
};

template <typename T>
std::uint64_t word(T* p) {
  return reinterpret_cast<std::uintptr_t>(p);
}

// The two multi-byte translations: the reference host's tables 0 and 1 leave
// letters as they are.
template <typename Stub>
Seen translate_through(void* stub) {
  char text[] = "MiXed", out[6] = {};
  reinterpret_cast<Stub>(stub)(text, 5, out, 5, 1);
  EXPECT_STREQ(out, "MiXed");
  return Seen{{word(text), 5, word(out), 5, 1}, 0};
}

// How each service is tried through a stub: a call with its results checked,
// and what the host is to log of it.
const std::map<std::string, std::function<Seen(void*)>>& exercises() {
  static const std::map<std::string, std::function<Seen(void*)>> map = {
      {"wzstrlo",
       [](void* stub) {
         char text[] = "MiXed";
         EXPECT_EQ(reinterpret_cast<stub_wzstrlo>(stub)(text, 5), 0);
         EXPECT_STREQ(text, "mixed");
         return Seen{{word(text), 5}, 0};
       }},
      {"wzstrup",
       [](void* stub) {
         char text[] = "MiXed";
         EXPECT_EQ(reinterpret_cast<stub_wzstrup>(stub)(text, 3), 0);
         EXPECT_STREQ(text, "MIXed");
         return Seen{{word(text), 3}, 0};
       }},
      {"wzsxcch", translate_through<stub_wzsxcch>},
      {"wzsxrch", translate_through<stub_wzsxrch>},
      {"xexit",
       [](void* stub) {
         reinterpret_cast<stub_xexit>(stub)(1016, 0);
         return Seen{{1016}, 0};
       }},
      {"zjuldat",
       [](void* stub) {
         EXPECT_EQ(reinterpret_cast<stub_zjuldat>(stub)(15006.75), 15006.0);
         return Seen{{}, 15006.75};
       }},
      {"zymdjul",
       [](void* stub) {
         double y = 0, mo = 0, d = 0;
         EXPECT_EQ(reinterpret_cast<stub_zymdjul>(stub)(15006.0, &y, &mo, &d), 0);
         EXPECT_EQ(y, 2001.0);
         EXPECT_EQ(mo, 1.0);
         EXPECT_EQ(d, 31.0);
         return Seen{{word(&y), word(&mo), word(&d)}, 15006.0};
       }},
  };
  return map;
}

// Every stub of the service list, under both of its names, clears its
// vector's flag byte and reaches its slot with its arguments and service
// identifier.
TEST(Stubs, EveryStubUnderBothNamesReachesItsService) {
  testhost::Host host;
  for (const char* path : {testing_support::kPelvoran, testing_support::kTashkume}) {
    RawModule mod(path);
    mod.init(host);
    host.record_calls(true);
    for (const mcn::ServiceEntry& s : mcn::kServices) {
      const auto exercise = exercises().find(s.name);
      ASSERT_NE(exercise, exercises().end()) << "no exercise for the service " << s.name;
      const std::string full = "_" + std::string(s.name) + "_" + std::to_string(s.service.vector) +
                               "_" + std::to_string(s.service.slot);
      for (const std::string& name : {std::string(s.name), full}) {
        SCOPED_TRACE(name);
        void* stub = mod.symbol(name.c_str());
        ASSERT_NE(stub, nullptr);
        host.clear_calls();
        host.arm_flags();
        const Seen seen = exercise->second(stub);
        const auto calls = host.calls();
        ASSERT_EQ(calls.size(), 1u);
        EXPECT_EQ(calls[0].id, (std::uint64_t{s.service.vector} << 32) | s.service.slot);
        EXPECT_EQ(calls[0].flag_seen, 0);
        for (int i = 0; i < 5; ++i) EXPECT_EQ(calls[0].words[i], seen.words[i]) << i;
        EXPECT_EQ(calls[0].value, seen.value);
      }
      EXPECT_EQ(mod.symbol(s.name), mod.symbol(full.c_str()));
    }
    host.record_calls(false);
  }
  // One identifier as the documentation spells it, against the whole list.
  EXPECT_EQ(mcn::service_id(mcn::service::zymdjul), (164ull << 32) | 21);
}

TEST(SideBySide, BothModulesStayIndependentInOneProcess) {
  testhost::Host host;
  dmcore::Module pel, tash;
  std::string error;
  ASSERT_TRUE(dmcore::load_module(host, testing_support::kPelvoran, pel, error)) << error;
  ASSERT_TRUE(dmcore::load_module(host, testing_support::kTashkume, tash, error)) << error;
  ASSERT_EQ(pel.functions.size(), 1u);
  ASSERT_EQ(tash.functions.size(), 1u);
  EXPECT_EQ(pel.functions[0].name, "YRDIF");
  EXPECT_EQ(tash.functions[0].name, "DATDIF");
  EXPECT_NE(pel.image, tash.image);

  RawModule p(testing_support::kPelvoran), t(testing_support::kTashkume);
  EXPECT_NE(p.symbol("wzstrip"), t.symbol("wzstrip"));
  EXPECT_EQ(p.data<void*>("v_global_gcb_anchor"), host.gcb());
  EXPECT_EQ(t.data<void*>("v_global_gcb_anchor"), host.gcb());
  EXPECT_NE(&p.data<void*>("v_global_gcb_anchor"), &t.data<void*>("v_global_gcb_anchor"));
  EXPECT_EQ(t.symbol("isleap"), nullptr);
  EXPECT_NE(p.symbol("isleap"), nullptr);

  // Interleaved evaluations through both.
  for (int i = 0; i < 3; ++i) {
    double years, days;
    testhost::Arguments a(0.0, 366.0, "ACT/365");
    ASSERT_EQ(a.call(pel.functions[0].impl, &years), 0);
    ASSERT_EQ(a.call(tash.functions[0].impl, &days), 0);
    EXPECT_EQ(years, 366.0 / 365.0);
    EXPECT_EQ(days, 366.0);
  }
}

}  // namespace
