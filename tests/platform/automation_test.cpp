#include "platform/connection_point.h"
#include "platform/dispatch_binding.h"
#include "platform/variant.h"

#include <gtest/gtest.h>

#include <stdexcept>

using namespace tessivor;

namespace {

struct CoercionCase
{
    const char* label;
    Variant in;
    HRESULT i2Result;
    std::int16_t i2;
    HRESULT i4Result;
    std::int32_t i4;
};

TEST(Variant, CoercesLikeAutomation)
{
    const CoercionCase cases[] = {
        {"empty is zero", Variant(), S_OK, 0, S_OK, 0},
        {"I2 widens", Variant::i2(-7), S_OK, -7, S_OK, -7},
        {"I4 narrows", Variant::i4(32767), S_OK, 32767, S_OK, 32767},
        {"I4 too big for I2", Variant::i4(32768), DISP_E_OVERFLOW, 0, S_OK, 32768},
        {"text number", Variant::str(" 8481 "), S_OK, 8481, S_OK, 8481},
        {"hex text", Variant::str("0x10"), S_OK, 16, S_OK, 16},
        {"negative text", Variant::str("-1"), S_OK, -1, S_OK, -1},
        {"True text", Variant::str("True"), S_OK, -1, S_OK, -1},
        {"not a number", Variant::str("abc"), DISP_E_TYPEMISMATCH, 0, DISP_E_TYPEMISMATCH, 0},
        {"empty text", Variant::str(""), DISP_E_TYPEMISMATCH, 0, DISP_E_TYPEMISMATCH, 0},
        {"real rounds half to even", Variant::r8(2.5), S_OK, 2, S_OK, 2},
        {"real text", Variant::str("3.5"), S_OK, 4, S_OK, 4},
        {"too big for I4", Variant::str("4294967296"), DISP_E_OVERFLOW, 0, DISP_E_OVERFLOW, 0},
        {"boolean true", Variant::boolean(true), S_OK, -1, S_OK, -1},
    };
    for (const auto& c : cases) {
        std::int16_t i2 = 0;
        std::int32_t i4 = 0;
        EXPECT_EQ(c.in.toI2(&i2), c.i2Result) << c.label;
        EXPECT_EQ(c.in.toI4(&i4), c.i4Result) << c.label;
        if (c.i2Result == S_OK) {
            EXPECT_EQ(i2, c.i2) << c.label;
        }
        if (c.i4Result == S_OK) {
            EXPECT_EQ(i4, c.i4) << c.label;
        }
    }
}

TEST(Variant, BooleanKeepsTheIntegerAHostPassed)
{
    VariantBool b{};
    ASSERT_EQ(Variant::i4(1).toBool(&b), S_OK);
    EXPECT_EQ(boolValue(b), 1); // 1 stays 1, true is -1
    ASSERT_EQ(Variant::str("true").toBool(&b), S_OK);
    EXPECT_EQ(boolValue(b), -1);
    ASSERT_EQ(Variant::str("0").toBool(&b), S_OK);
    EXPECT_EQ(boolValue(b), 0);
    EXPECT_EQ(Variant::boolean(VARIANT_TRUE).display(), "-1");
}

TEST(Variant, ColourKeepsItsBits)
{
    OleColor c{};
    ASSERT_EQ(Variant::str("0x80000005").toColor(&c), S_OK);
    EXPECT_EQ(static_cast<std::uint32_t>(c), 0x80000005u);
    EXPECT_EQ(Variant::color(c).display(), "0x80000005");
    std::int32_t asI4 = 0;
    ASSERT_EQ(Variant::color(c).toI4(&asI4), S_OK);
    EXPECT_EQ(static_cast<std::uint32_t>(asI4), 0x80000005u);
}

// A small interface to bind: every parameter kind and an out parameter.
enum Mode : std::int32_t
{
    MODE_A = 0,
    MODE_B = 1,
};

} // namespace

template <> struct tessivor::DispatchEnumName<Mode>
{
    static constexpr std::string_view value = "Mode";
};

namespace {

class Sample
{
public:
    HRESULT Add(std::int32_t a, std::int16_t b, std::int32_t* sum)
    {
        *sum = a + b;
        return S_OK;
    }
    HRESULT put_Name(std::string_view v)
    {
        name = std::string(v);
        return v == "odd" ? S_FALSE : S_OK;
    }
    HRESULT get_Name(std::string* v)
    {
        *v = name;
        return S_OK;
    }
    HRESULT SetMode(Mode m, VariantBool on, const Variant& any)
    {
        mode = m;
        flag = boolValue(on);
        last = any;
        return S_OK;
    }
    std::string name;
    Mode mode = MODE_A;
    int flag = 0;
    Variant last;
};

const DispatchTable<Sample>& sampleTable()
{
    static const DispatchTable<Sample> t({
        dispatchMember<Sample, &Sample::Add, 3>(1, "Add", InvokeKind::Method, {"a", "b", "sum"}),
        dispatchMember<Sample, &Sample::get_Name, 1>(2, "Name", InvokeKind::PropertyGet, {"pVal"}),
        dispatchMember<Sample, &Sample::put_Name, 1>(2, "Name", InvokeKind::PropertyPut, {""}),
        dispatchMember<Sample, &Sample::SetMode, 3>(3, "SetMode", InvokeKind::Method, {"m", "on", "any"}),
    });
    return t;
}

TEST(Dispatch, TypeInformationComesFromTheDeclarations)
{
    auto members = sampleTable().members();
    ASSERT_EQ(members.size(), 4u);
    EXPECT_EQ(members[0].signature(), "I4 a, I2 b, I4* sum");
    EXPECT_EQ(members[1].signature(), "BSTR* pVal");
    EXPECT_EQ(members[2].signature(), "BSTR");
    EXPECT_EQ(members[3].signature(), "Mode m, BOOL on, VARIANT any");
    DispId id = 0;
    EXPECT_EQ(sampleTable().idOfName("setmode", &id), S_OK);
    EXPECT_EQ(id, 3);
    EXPECT_EQ(sampleTable().idOfName("Nope", &id), DISP_E_UNKNOWNNAME);
}

TEST(Dispatch, ArgumentsArriveInDeclaredOrderAndOutValuesComeBack)
{
    Sample s;
    DispParams p = DispParams::fromDeclared({Variant::str("40"), Variant::i2(2), Variant()});
    // Automation order: last declared first.
    EXPECT_EQ(p.args.front(), Variant());
    ASSERT_EQ(sampleTable().invoke(s, 1, InvokeKind::Method, p, nullptr), S_OK);
    EXPECT_EQ(p.declared(2), Variant::i4(42));

    // The out parameter may come back as the result instead.
    DispParams q = DispParams::fromDeclared({Variant::i4(1), Variant::i4(2)});
    Variant result;
    ASSERT_EQ(sampleTable().invoke(s, 1, InvokeKind::Method, q, &result), S_OK);
    EXPECT_EQ(result, Variant::i4(3));
}

TEST(Dispatch, RejectsWrongCallsWithoutCallingTheMember)
{
    struct Case
    {
        const char* label;
        DispId id;
        InvokeKind kind;
        std::vector<Variant> args;
        HRESULT expected;
    };
    const Case cases[] = {
        {"too few", 1, InvokeKind::Method, {Variant::i4(1)}, DISP_E_BADPARAMCOUNT},
        {"too many",
         1,
         InvokeKind::Method,
         {Variant::i4(1), Variant::i4(2), Variant(), Variant()},
         DISP_E_BADPARAMCOUNT},
        {"not a number",
         1,
         InvokeKind::Method,
         {Variant::str("x"), Variant::i4(2), Variant()},
         DISP_E_TYPEMISMATCH},
        {"I2 overflow",
         1,
         InvokeKind::Method,
         {Variant::i4(1), Variant::i4(70000), Variant()},
         DISP_E_OVERFLOW},
        {"unknown id", 99, InvokeKind::Method, {}, DISP_E_MEMBERNOTFOUND},
        {"wrong kind", 1, InvokeKind::PropertyGet, {}, DISP_E_MEMBERNOTFOUND},
    };
    for (const Case& c : cases) {
        Sample s;
        DispParams p = DispParams::fromDeclared(c.args);
        Variant result;
        EXPECT_EQ(sampleTable().invoke(s, c.id, c.kind, p, &result), c.expected) << c.label;
    }
}

TEST(Dispatch, PropertyPutPassesTheMembersResultAndEnumsConvert)
{
    Sample s;
    DispParams put = DispParams::fromDeclared({Variant::str("odd")});
    EXPECT_EQ(sampleTable().invoke(s, 2, InvokeKind::PropertyPut, put, nullptr), S_FALSE);
    DispParams get;
    Variant v;
    ASSERT_EQ(sampleTable().invoke(s, 2, InvokeKind::PropertyGet, get, &v), S_OK);
    EXPECT_EQ(v, Variant::str("odd"));

    DispParams mode = DispParams::fromDeclared({Variant::str("1"), Variant::i4(1), Variant::r8(0.5)});
    ASSERT_EQ(sampleTable().invoke(s, 3, InvokeKind::Method, mode, nullptr), S_OK);
    EXPECT_EQ(s.mode, MODE_B);
    EXPECT_EQ(s.flag, 1);
    EXPECT_EQ(s.last, Variant::r8(0.5));
}

// Records what it receives; can be told to fail or to throw.
class RecordingSink : public IDispatch
{
public:
    enum Behaviour
    {
        Normal,
        Fails,
        Throws,
    };
    RecordingSink(std::vector<std::string>* log, std::string name, Behaviour b)
        : m_log(log), m_name(std::move(name)), m_b(b)
    {
    }
    HRESULT getIdOfName(std::string_view, DispId*) override { return DISP_E_UNKNOWNNAME; }
    HRESULT invoke(DispId id, InvokeKind, DispParams& p, Variant*) override
    {
        std::string entry = m_name + ":" + std::to_string(id);
        for (std::size_t i = 0; i < p.count(); ++i)
            entry += " " + p.declared(i).display();
        m_log->push_back(entry);
        if (m_b == Throws)
            throw std::runtime_error("sink failure");
        return m_b == Fails ? E_FAIL : S_OK;
    }

private:
    std::vector<std::string>* m_log;
    std::string m_name;
    Behaviour m_b;
};

TEST(ConnectionPoint, FiresToEverySinkInOrderWhateverTheyDo)
{
    std::vector<std::string> log;
    ConnectionPoint cp;
    std::uint32_t c1 = 0, c2 = 0, c3 = 0;
    ASSERT_EQ(cp.advise(std::make_shared<RecordingSink>(&log, "a", RecordingSink::Throws), &c1), S_OK);
    ASSERT_EQ(cp.advise(std::make_shared<RecordingSink>(&log, "b", RecordingSink::Fails), &c2), S_OK);
    ASSERT_EQ(cp.advise(std::make_shared<RecordingSink>(&log, "c", RecordingSink::Normal), &c3), S_OK);
    EXPECT_NE(c1, c2);

    cp.fire(4, DispParams::fromDeclared({Variant::i4(10), Variant::i4(20), Variant::i4(0)}));
    EXPECT_EQ(log, (std::vector<std::string>{"a:4 10 20 0", "b:4 10 20 0", "c:4 10 20 0"}));

    log.clear();
    EXPECT_EQ(cp.unadvise(c2), S_OK);
    EXPECT_EQ(cp.unadvise(c2), E_INVALIDARG);
    cp.fire(2, DispParams::fromDeclared({Variant::i4(1)}));
    EXPECT_EQ(log, (std::vector<std::string>{"a:2 1", "c:2 1"}));
}

} // namespace
