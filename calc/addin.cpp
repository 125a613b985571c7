// The Calc add-in: every function of the modules as a spreadsheet function,
// through the embedding library. YRDIF(start; end [; basis]) and
// DATDIF(start; end; basis) give the number, <NAME>_CAUSE(...) why a result
// is missing ("" when it is not), <NAME>_EXPLAIN(...) how the result comes
// about, one step a line. The names Calc shows are the ones the library
// reports; the descriptions come from docs/descriptions.tsv.
//
// A date is a cell value, a serial number of days from the document's null
// date (the day that holds it: its civil date in Calc's calendar), a date
// text as every face reads dates, or an empty cell, a missing date. Calc
// passes a reference to one empty cell as 0, as to every function; inside a
// range an empty cell stays empty. A basis is a text; an empty cell is a
// missing basis. Any argument may be a range or an array: the result is then
// an array over the largest of them, a single row or column repeated as Calc
// repeats it, and #N/A where a smaller one has no element; the evaluations
// are one call of the library's array form.
//
// A missing result is the Calc error that says what it is: #N/A for a
// missing date or basis, Err:502 (invalid argument, as YEARFRAC's unknown
// basis) for a basis that names none, #NUM! for a date out of range,
// #VALUE! for a text that is no date or a day the host calendar lacks. The
// error is a NaN that carries its code, the form in which Calc itself holds
// errors among numbers.
//
// No C++ exception other than UNO's leaves this file: out of memory is a
// RuntimeException, which Calc shows as #VALUE!.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/lang/IllegalArgumentException.hpp>
#include <com/sun/star/lang/XServiceInfo.hpp>
#include <com/sun/star/lang/XServiceName.hpp>
#include <com/sun/star/sheet/XAddIn.hpp>
#include <com/sun/star/uno/RuntimeException.hpp>
#include <com/sun/star/uno/XComponentContext.hpp>
#include <com/sun/star/util/Date.hpp>
#include <cppuhelper/factory.hxx>
#include <cppuhelper/implbase4.hxx>
#include <cppuhelper/implementationentry.hxx>
#include <cppuhelper/supportsservice.hxx>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>
#include <org/datemodules/calc/XDateDifferences.hpp>
#include <string>
#include <vector>

#include "calc/descriptions.h"
#include "embed/datemodules.h"

namespace {

namespace uno = css::uno;
using rtl::OString;
using rtl::OUString;
using uno::Any;
using uno::Reference;
using uno::Sequence;

constexpr char kImplementation[] = "org.datemodules.calc.DateDifferences";
constexpr char kAddInService[] = "com.sun.star.sheet.AddIn";

// What a spreadsheet function gives of an evaluation.
enum class Gives { kResult, kCause, kExplanation };
struct Kind {
  Gives gives;
  const char* display;  // the end of the name Calc shows
  const char* method;   // the end of the method's name
};
constexpr Kind kKinds[] = {{Gives::kResult, "", ""},
                           {Gives::kCause, "_CAUSE", "Cause"},
                           {Gives::kExplanation, "_EXPLAIN", "Explain"}};

// The functions, by the names their methods say.
constexpr const char* kFunctionNames[] = {"YRDIF", "DATDIF"};
enum Function { kYrdif, kDatdif };

// The library and its functions, opened once for the process on first use;
// it stays open. An open that ran out of memory is not kept: the next call
// tries again.
struct Library {
  dm_library* lib = nullptr;
  int status = DM_NOMEM;
  const dm_function* functions[2] = {};
};
const Library& library() {
  static std::atomic<const Library*> opened{nullptr};
  if (const Library* l = opened.load(std::memory_order_acquire)) return *l;
  static std::mutex opening;
  const std::lock_guard<std::mutex> hold(opening);
  if (const Library* l = opened.load(std::memory_order_relaxed)) return *l;
  static const Library out_of_memory;
  static Library l;
  l.status = dm_open(nullptr, &l.lib);
  if (l.status == DM_NOMEM) {
    dm_close(l.lib);
    l.lib = nullptr;
    return out_of_memory;
  }
  for (int i = 0; i < 2; ++i)
    if (l.status == DM_OK) dm_function_find(l.lib, kFunctionNames[i], &l.functions[i]);
  opened.store(&l, std::memory_order_release);
  return l;
}

// Calc's error codes, and an error as Calc holds it among numbers: a quiet
// NaN whose low 32 bits are the code.
enum CalcError : uint32_t {
  kIllegalArgument = 502,     // Err:502, invalid argument
  kIllegalFPOperation = 503,  // #NUM!
  kParameterExpected = 511,   // Err:511, a variable is missing
  kNoValue = 519,             // #VALUE!
  kNotAvailable = 0x7fff      // #N/A
};
double calc_error(uint32_t code) {
  const uint64_t bits = 0x7ff8000000000000ULL | code;
  double d;
  std::memcpy(&d, &bits, sizeof d);
  return d;
}
uint32_t error_of_cause(int cause) {
  switch (cause) {
    case DM_CAUSE_DATE_RANGE:
      return kIllegalFPOperation;
    case DM_CAUSE_BASIS_UNKNOWN:
      return kIllegalArgument;
    case DM_CAUSE_NOT_A_DATE:
    case DM_CAUSE_NO_SUCH_DAY:
      return kNoValue;
    default:  // a missing date or basis
      return kNotAvailable;
  }
}

// Texts between Calc (UTF-16) and the library (UTF-8), converted here into
// our own strings: the office's converters do not survive a failed
// allocation, while a std::string's is std::bad_alloc. A lone surrogate,
// which no date or basis holds, becomes U+FFFD.
std::string utf8(const OUString& text) {
  std::string out;
  out.reserve(static_cast<size_t>(text.getLength()));
  const sal_Unicode* u = text.getStr();
  const sal_Int32 n = text.getLength();
  for (sal_Int32 i = 0; i < n; ++i) {
    uint32_t c = u[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < n && u[i + 1] >= 0xDC00 && u[i + 1] < 0xE000)
      c = 0x10000 + ((c - 0xD800) << 10) + (u[++i] - 0xDC00);
    else if (c >= 0xD800 && c < 0xE000)
      c = 0xFFFD;
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | c >> 6);
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | c >> 12);
      out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | c >> 18);
      out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
      out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

// A text of the library (valid UTF-8, as every text it hands out is) for Calc.
OUString utf16(const std::string& text) {
  std::u16string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    const auto b = static_cast<unsigned char>(text[i]);
    const size_t length = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
    uint32_t c = length == 1 ? b : b & (0x3F >> (length - 1));
    for (size_t k = 1; k < length && i + k < text.size(); ++k)
      c = c << 6 | (static_cast<unsigned char>(text[i + k]) & 0x3F);
    i += length;
    if (c >= 0x10000) {
      out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      out += static_cast<char16_t>(c);
    }
  }
  // Allocated and filled here, where a failure is seen: the office's own
  // string makers write through the null they get.
  rtl_uString* data = rtl_uString_alloc(static_cast<sal_Int32>(out.size()));
  if (data == nullptr) throw std::bad_alloc();
  std::copy(out.begin(), out.end(), data->buffer);
  return OUString(data, SAL_NO_ACQUIRE);
}

// Days from 1970-01-01 to a civil date of Calc's calendar, the proleptic
// Gregorian one, in which serial numbers count.
double gregorian_days(long year, long month, long day) {
  year -= month <= 2;
  const long era = (year >= 0 ? year : year - 399) / 400;
  const long of_era = year - era * 400;
  const long of_year = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  return static_cast<double>(era * 146097 + of_era * 365 + of_era / 4 - of_era / 100 + of_year -
                             719468);
}

// The document's null date, from which serial numbers count, in days from
// 1970-01-01.
double null_days(const Reference<css::beans::XPropertySet>& options) {
  css::util::Date date(30, 12, 1899);  // Calc's default
  if (options.is()) {
    try {
      options->getPropertyValue("NullDate") >>= date;
    } catch (const css::beans::UnknownPropertyException&) {
    }
  }
  return gregorian_days(date.Year, date.Month, date.Day);
}

using Cells = Sequence<Sequence<Any>>;

// One argument as Calc passes it: the rows of a range or an array, or (YRDIF's
// basis) one value, which may itself be the rows of a range.
class Argument {
 public:
  explicit Argument(const Cells& rows) : rows_(&rows) { measure(); }
  explicit Argument(const Any& any) : value_(&any) {
    if (any.getValueType() == cppu::UnoType<Cells>::get()) {
      rows_ = static_cast<const Cells*>(any.getValue());
      value_ = nullptr;
      measure();
    }
  }
  // A value not given at all (YRDIF's basis left out).
  bool left_out() const { return value_ != nullptr && !value_->hasValue(); }
  sal_Int32 rows() const { return rows_ != nullptr ? rows_->getLength() : 1; }
  sal_Int32 columns() const { return rows_ != nullptr ? columns_ : 1; }
  // The element for row r and column c of the result, a single row or column
  // repeated; nullptr where the argument has none.
  const Any* at(sal_Int32 r, sal_Int32 c) const {
    if (rows_ == nullptr) return value_;
    if (rows_->getLength() == 1) r = 0;
    if (r >= rows_->getLength()) return nullptr;
    const Sequence<Any>& row = (*rows_)[r];
    if (columns_ == 1) c = 0;
    return c < row.getLength() ? &row[c] : nullptr;
  }

 private:
  void measure() {
    for (const Sequence<Any>& row : *rows_) columns_ = std::max(columns_, row.getLength());
  }
  const Any* value_ = nullptr;
  const Cells* rows_ = nullptr;
  sal_Int32 columns_ = 0;
};

// A date element as a date value: a serial number from the null date (the
// day that holds it: its civil date in Calc's calendar, which has days that
// the host calendar lacks), a date text, or an empty cell, a missing date. A
// refused date gives the NaN or infinity that keeps why.
double date_value(const Any& element, double null_days, const Reference<uno::XInterface>& self,
                  sal_Int16 position) {
  double serial;
  OUString text;
  if (!element.hasValue()) return std::nan("");
  if (element >>= serial) {
    const double days = std::floor(serial) + null_days;
    double value;
    dm_dates_from_days(1, &days, &value);
    return value;
  }
  if (element >>= text) {
    const std::string bytes = utf8(text);
    double value;
    dm_date_from_text(bytes.data(), bytes.size(), &value, nullptr);
    return value;
  }
  throw css::lang::IllegalArgumentException("a date must be a number or a text", self, position);
}

// A basis element as a text; false for an empty cell, a basis without a
// value. A number is its text, as Calc reads a number where it needs a text;
// 0 is what Calc passes for an empty cell to a value that may be left out,
// and is read as one.
bool basis_text(const Any& element, std::string* out, const Reference<uno::XInterface>& self) {
  OUString text;
  double number;
  if (!element.hasValue()) return false;
  if (element >>= text) {
    *out = utf8(text);
    return true;
  }
  if (element >>= number) {
    if (number == 0) return false;
    char shown[32];  // as Calc shows a number, to 15 digits
    const int length = std::snprintf(shown, sizeof shown, "%.15g", number);
    *out = std::string(shown, static_cast<size_t>(length));
    return true;
  }
  throw css::lang::IllegalArgumentException("a basis must be a text", self, 3);
}

// The description of a function (argument "") or of one of its arguments.
const char* description(const char* function, const char* argument) {
  for (const Description& d : kDescriptions)
    if (std::strcmp(d.function, function) == 0 && std::strcmp(d.argument, argument) == 0)
      return d.text;
  return "";
}

// The text of a cell that says how a result comes about; a NULL basis is
// one left out, "" one without a value.
Any explanation(const dm_function* f, double start, double end, const char* basis, size_t length) {
  std::string text(2048, '\0');
  size_t whole = 0;
  int status = DM_OK;
  for (int attempt = 0; attempt < 2; ++attempt) {
    status = dm_explain_text(f, start, end, basis, length, DM_EXPLAIN_TEXT, text.data(),
                             text.size(), &whole);
    if (whole < text.size() || (status != DM_OK && status != DM_DIFFERS)) break;
    text.resize(whole + 1);
  }
  if (status == DM_NOMEM) throw std::bad_alloc();
  if (status == DM_MISUSE) return Any(calc_error(kParameterExpected));  // a basis is needed
  if (status != DM_OK && status != DM_DIFFERS) return Any(calc_error(kNoValue));
  text.resize(std::min(whole, text.size() - 1));
  while (!text.empty() && text.back() == '\n') text.pop_back();
  if (status == DM_DIFFERS)
    text =
        "the explained figure and the module's result differ (a defect of datemodules, "
        "please report it)\n" +
        text;
  return Any(utf16(text));
}

class DateDifferences
    : public cppu::WeakImplHelper4<org::datemodules::calc::XDateDifferences, css::sheet::XAddIn,
                                   css::lang::XServiceName, css::lang::XServiceInfo> {
 public:
  // The office's type system makes each type's description on its first use,
  // and does not survive a failed allocation there: the types an evaluation
  // uses are made with the component, not in its first call.
  DateDifferences() {
    Sequence<Sequence<double>> numbers(1);
    numbers.getArray()[0].realloc(1);
    Cells cells(1);
    cells.getArray()[0].realloc(1);
    Any(numbers) >>= numbers;
    Any(cells) >>= cells;
    cppu::UnoType<Cells>::get();
    cppu::UnoType<Sequence<Any>>::get();
    cppu::UnoType<Sequence<Sequence<double>>>::get();
    cppu::UnoType<Sequence<double>>::get();
    cppu::UnoType<double>::get();
    cppu::UnoType<OUString>::get();
  }

  // The spreadsheet functions.
  Any SAL_CALL yrdif(const Reference<css::beans::XPropertySet>& options, const Cells& start,
                     const Cells& end, const Any& basis) override {
    return call(kYrdif, Gives::kResult, options, start, end, basis);
  }
  Any SAL_CALL yrdifCause(const Reference<css::beans::XPropertySet>& options, const Cells& start,
                          const Cells& end, const Any& basis) override {
    return call(kYrdif, Gives::kCause, options, start, end, basis);
  }
  Any SAL_CALL yrdifExplain(const Reference<css::beans::XPropertySet>& options, const Cells& start,
                            const Cells& end, const Any& basis) override {
    return call(kYrdif, Gives::kExplanation, options, start, end, basis);
  }
  Any SAL_CALL datdif(const Reference<css::beans::XPropertySet>& options, const Cells& start,
                      const Cells& end, const Cells& basis) override {
    return call(kDatdif, Gives::kResult, options, start, end, basis);
  }
  Any SAL_CALL datdifCause(const Reference<css::beans::XPropertySet>& options, const Cells& start,
                           const Cells& end, const Cells& basis) override {
    return call(kDatdif, Gives::kCause, options, start, end, basis);
  }
  Any SAL_CALL datdifExplain(const Reference<css::beans::XPropertySet>& options, const Cells& start,
                             const Cells& end, const Cells& basis) override {
    return call(kDatdif, Gives::kExplanation, options, start, end, basis);
  }

  // What the function wizard shows.
  OUString SAL_CALL getProgrammaticFuntionName(const OUString& display) override {
    for (const Method& m : methods())
      if (display.equalsIgnoreAsciiCase(m.display)) return m.programmatic;
    return OUString();
  }
  OUString SAL_CALL getDisplayFunctionName(const OUString& programmatic) override {
    const Method* m = method(programmatic);
    return m != nullptr ? m->display : OUString();
  }
  OUString SAL_CALL getFunctionDescription(const OUString& programmatic) override {
    const Method* m = method(programmatic);
    if (m == nullptr) return OUString();
    const OUString what = OUString::createFromAscii(description(m->function, ""));
    switch (m->gives) {
      case Gives::kCause:
        return "Why " + m->function_name +
               " gives no result for these arguments, or an empty "
               "text when it gives one: " +
               what;
      case Gives::kExplanation:
        return "How the result of " + m->function_name +
               " for these arguments comes about, one step a line: " + what;
      default:
        return what;
    }
  }
  OUString SAL_CALL getDisplayArgumentName(const OUString& programmatic,
                                           sal_Int32 argument) override {
    const Method* m = method(programmatic);
    return m != nullptr && argument >= 1 && argument <= 3
               ? OUString::createFromAscii(kArgumentNames[argument - 1])
               : OUString();
  }
  OUString SAL_CALL getArgumentDescription(const OUString& programmatic,
                                           sal_Int32 argument) override {
    const Method* m = method(programmatic);
    return m != nullptr && argument >= 1 && argument <= 3
               ? OUString::createFromAscii(description(m->function, kArgumentNames[argument - 1]))
               : OUString();
  }
  OUString SAL_CALL getProgrammaticCategoryName(const OUString&) override { return "Date&Time"; }
  OUString SAL_CALL getDisplayCategoryName(const OUString&) override { return "Date&Time"; }

  // XLocalizable: one language.
  void SAL_CALL setLocale(const css::lang::Locale& locale) override { locale_ = locale; }
  css::lang::Locale SAL_CALL getLocale() override { return locale_; }

  // XServiceName, XServiceInfo.
  OUString SAL_CALL getServiceName() override { return kImplementation; }
  OUString SAL_CALL getImplementationName() override { return kImplementation; }
  sal_Bool SAL_CALL supportsService(const OUString& name) override {
    return cppu::supportsService(this, name);
  }
  Sequence<OUString> SAL_CALL getSupportedServiceNames() override { return services(); }

  static Sequence<OUString> services() {
    Sequence<OUString> names(2);
    names.getArray()[0] = kAddInService;
    names.getArray()[1] = kImplementation;
    return names;
  }

 private:
  // The arguments Calc shows: 0 is the document's options, which it hides.
  static constexpr const char* kArgumentNames[] = {"start", "end", "basis"};

  // A spreadsheet function: its method, the name it shows, what it gives.
  struct Method {
    OUString programmatic;
    OUString display;
    OUString function_name;  // as the library reports it
    const char* function;    // as the method's name says it
    Gives gives;
  };
  static const std::vector<Method>& methods() {
    static const std::vector<Method> all = [] {
      std::vector<Method> m;
      for (const Function function : {kYrdif, kDatdif}) {
        const char* ascii = kFunctionNames[function];
        const dm_function* f = library().functions[function];
        const OUString name = OUString::createFromAscii(f != nullptr ? dm_function_name(f) : ascii);
        for (const Kind& kind : kKinds)
          m.push_back({OUString::createFromAscii(ascii).toAsciiLowerCase() +
                           OUString::createFromAscii(kind.method),
                       name + OUString::createFromAscii(kind.display), name, ascii, kind.gives});
      }
      return m;
    }();
    return all;
  }
  static const Method* method(const OUString& programmatic) {
    for (const Method& m : methods())
      if (m.programmatic == programmatic) return &m;
    return nullptr;
  }

  Reference<uno::XInterface> self() { return static_cast<cppu::OWeakObject*>(this); }

  template <typename Basis>
  Any call(Function function, Gives gives, const Reference<css::beans::XPropertySet>& options,
           const Cells& start, const Cells& end, const Basis& basis) {
    try {
      return evaluate(function, gives, options, Argument(start), Argument(end), Argument(basis));
    } catch (const uno::Exception&) {
      throw;
    } catch (const std::bad_alloc&) {
      throw uno::RuntimeException("datemodules: out of memory", self());
    } catch (...) {
      throw uno::RuntimeException("datemodules: an unexpected failure", self());
    }
  }

  Any evaluate(Function function, Gives gives, const Reference<css::beans::XPropertySet>& options,
               const Argument& start, const Argument& end, const Argument& basis) {
    const Library& l = library();
    const dm_function* f = l.functions[function];
    if (l.status == DM_NOMEM) throw std::bad_alloc();  // and the next call tries again
    if (f == nullptr) {                                // no modules: the cause says why
      if (gives == Gives::kResult) return Any(calc_error(kNotAvailable));
      return Any(utf16(std::string("datemodules: no function ") + kFunctionNames[function] + ": " +
                       (l.lib != nullptr ? dm_errmsg(l.lib) : "")));
    }
    const double null = null_days(options);
    const sal_Int32 rows = std::max({start.rows(), end.rows(), basis.rows()});
    const sal_Int32 columns = std::max({start.columns(), end.columns(), basis.columns()});
    if (rows == 1 && columns == 1) {  // one cell: its value, not an array
      const Any* s = start.at(0, 0);
      const Any* e = end.at(0, 0);
      const Any* b = basis.at(0, 0);
      if (s == nullptr || e == nullptr || b == nullptr) return Any(calc_error(kNotAvailable));
      const double first = date_value(*s, null, self(), 1);
      const double second = date_value(*e, null, self(), 2);
      if (basis.left_out()) return one(f, gives, first, second, nullptr, 0, true);
      std::string text;
      const bool has_value = basis_text(*b, &text, self());
      return one(f, gives, first, second, has_value ? text.data() : nullptr, text.size(), false);
    }
    return array(f, gives, start, end, basis, null, rows, columns);
  }

  // The result of one evaluation as a cell holds it. A NULL basis is one
  // without a value, unless it is left out.
  static Any one(const dm_function* f, Gives gives, double start, double end, const char* basis,
                 size_t length, bool left_out) {
    if (gives == Gives::kExplanation)
      return explanation(f, start, end,
                         left_out           ? nullptr
                         : basis != nullptr ? basis
                                            : DM_BASIS_NO_VALUE,
                         length);
    double result;
    int cause = DM_CAUSE_NONE;
    if (dm_eval(f, start, end,
                left_out           ? nullptr
                : basis != nullptr ? basis
                                   : DM_BASIS_NO_VALUE,
                length, &result, &cause) == DM_MISUSE)
      return Any(calc_error(kParameterExpected));  // DATDIF's basis left out
    return cell(gives, result, static_cast<uint8_t>(cause));
  }

  static Any cell(Gives gives, double result, uint8_t cause) {
    if (gives == Gives::kCause) return Any(utf16(dm_cause_text(cause)));
    return Any(cause == DM_CAUSE_NONE ? result : calc_error(error_of_cause(cause)));
  }

  // Arrays: the dates and bases of every cell of the result, then one
  // evaluation of the array form.
  Any array(const dm_function* f, Gives gives, const Argument& start, const Argument& end,
            const Argument& basis, double null, sal_Int32 rows, sal_Int32 columns) {
    const size_t n = static_cast<size_t>(rows) * static_cast<size_t>(columns);
    std::vector<double> starts(n), ends(n), results(n);
    std::vector<uint8_t> absent(n, 0), causes(n, DM_CAUSE_NONE);
    // One basis for every cell (a text, or a cell alone) is read once; a
    // left-out basis is NULL, one without a value "".
    const bool shared = basis.rows() == 1 && basis.columns() == 1 && basis.at(0, 0) != nullptr;
    std::string shared_text;
    const char* shared_basis = basis.left_out() ? nullptr : DM_BASIS_NO_VALUE;
    if (shared && !basis.left_out() && basis_text(*basis.at(0, 0), &shared_text, self()))
      shared_basis = shared_text.data();
    std::vector<std::string> texts(shared ? 0 : n);
    std::vector<const char*> bases(shared ? 0 : n, nullptr);
    std::vector<size_t> lengths(shared ? 0 : n, 0);
    for (size_t i = 0; i < n; ++i) {
      const sal_Int32 r = static_cast<sal_Int32>(i / static_cast<size_t>(columns));
      const sal_Int32 c = static_cast<sal_Int32>(i % static_cast<size_t>(columns));
      const Any* s = start.at(r, c);
      const Any* e = end.at(r, c);
      const Any* b = basis.at(r, c);
      if (s == nullptr || e == nullptr || b == nullptr) {
        absent[i] = 1;
        starts[i] = ends[i] = std::nan("");
        continue;
      }
      starts[i] = date_value(*s, null, self(), 1);
      ends[i] = date_value(*e, null, self(), 2);
      if (!shared && basis_text(*b, &texts[i], self())) {
        bases[i] = texts[i].data();
        lengths[i] = texts[i].size();
      }
    }
    if (gives != Gives::kExplanation) {
      if (!shared)
        dm_eval_array_bases(f, n, starts.data(), ends.data(), bases.data(), lengths.data(),
                            results.data(), nullptr, causes.data());
      else if (dm_eval_array(f, n, starts.data(), ends.data(), shared_basis, shared_text.size(),
                             results.data(), nullptr, causes.data()) == DM_MISUSE)
        return Any(calc_error(kParameterExpected));  // DATDIF's basis left out
    }
    if (gives == Gives::kResult) {
      Sequence<Sequence<double>> out(rows);
      for (sal_Int32 r = 0; r < rows; ++r) {
        Sequence<double>& row = out.getArray()[r];
        row.realloc(columns);
        double* value = row.getArray();
        for (sal_Int32 c = 0; c < columns; ++c) {
          const size_t i =
              static_cast<size_t>(r) * static_cast<size_t>(columns) + static_cast<size_t>(c);
          value[c] = absent[i]                    ? calc_error(kNotAvailable)
                     : causes[i] == DM_CAUSE_NONE ? results[i]
                                                  : calc_error(error_of_cause(causes[i]));
        }
      }
      return Any(out);
    }
    Cells out(rows);
    for (sal_Int32 r = 0; r < rows; ++r) {
      Sequence<Any>& row = out.getArray()[r];
      row.realloc(columns);
      Any* value = row.getArray();
      for (sal_Int32 c = 0; c < columns; ++c) {
        const size_t i =
            static_cast<size_t>(r) * static_cast<size_t>(columns) + static_cast<size_t>(c);
        if (absent[i])
          value[c] <<= calc_error(kNotAvailable);
        else if (gives == Gives::kCause)
          value[c] = cell(gives, results[i], causes[i]);
        else
          value[c] = one(f, gives, starts[i], ends[i], shared ? shared_basis : bases[i],
                         shared ? shared_text.size() : lengths[i], basis.left_out());
      }
    }
    return Any(out);
  }

  css::lang::Locale locale_;
};

Reference<uno::XInterface> SAL_CALL create(const Reference<uno::XComponentContext>&) {
  return static_cast<cppu::OWeakObject*>(new DateDifferences);
}
OUString SAL_CALL implementation_name() { return kImplementation; }
Sequence<OUString> SAL_CALL service_names() { return DateDifferences::services(); }

const cppu::ImplementationEntry kEntries[] = {
    {create, implementation_name, service_names, cppu::createSingleComponentFactory, nullptr, 0},
    {nullptr, nullptr, nullptr, nullptr, nullptr, 0}};

}  // namespace

extern "C" SAL_DLLPUBLIC_EXPORT void* SAL_CALL component_getFactory(const char* name,
                                                                    void* service_manager,
                                                                    void* registry_key) {
  return cppu::component_getFactoryHelper(name, service_manager, registry_key, kEntries);
}
