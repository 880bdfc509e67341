// Filter arbitration as the lab's WFP evaluates it, for rules added through
// fwpuclnt exactly as a caller adds them. Every case has ports of its own,
// so neither the other cases (run in parallel) nor other processes of the
// prefix (port 53) interfere.

#include "LabInspect.h"
#include "LabTestSupport.h"
#include "common/FwpDefinitions.h"

#include <gtest/gtest.h>
#include <rpc.h>

#include <optional>

namespace {

constexpr UINT16 kOtherPortOffset = 5;
constexpr UINT32 kVpnIf = 4711;
constexpr UINT32 kLanIf = 4712;

enum class Weight { Empty, Uint8Low, Uint8High, Uint64Max };

struct Rule {
  int sublayer;  // index into the case's sublayers
  lab::IpVersion version;
  Weight weight;
  std::optional<UINT32> onlyInterface;
  UINT32 action;
};

enum class Port { Ruled, Other };

struct Expectation {
  Port port;
  UINT32 interfaceIndex;
  lab::IpVersion version;
  bool passes;
};

struct ArbitrationCase {
  const char* label;
  UINT16 port;  // the port every rule of the case is about
  std::vector<Rule> rules;
  std::vector<Expectation> expectations;
};

using V = lab::IpVersion;

const ArbitrationCase kCases[] = {
    {"noRulesPass", 47010, {}, {{Port::Ruled, kLanIf, V::V4, true}, {Port::Ruled, kVpnIf, V::V6, true}}},
    {"permitThroughVpnBlockElsewhere",
     47020,
     {{0, V::V4, Weight::Uint8High, kVpnIf, FWP_ACTION_PERMIT},
      {0, V::V6, Weight::Uint8High, kVpnIf, FWP_ACTION_PERMIT},
      {0, V::V4, Weight::Empty, std::nullopt, FWP_ACTION_BLOCK},
      {0, V::V6, Weight::Empty, std::nullopt, FWP_ACTION_BLOCK}},
     {{Port::Ruled, kVpnIf, V::V4, true},
      {Port::Ruled, kVpnIf, V::V6, true},
      {Port::Ruled, kLanIf, V::V4, false},
      {Port::Ruled, kLanIf, V::V6, false},
      {Port::Other, kLanIf, V::V4, true}}},
    {"heavierBlockBeatsPermit",
     47030,
     {{0, V::V4, Weight::Uint8Low, kVpnIf, FWP_ACTION_PERMIT},
      {0, V::V4, Weight::Uint64Max, std::nullopt, FWP_ACTION_BLOCK}},
     {{Port::Ruled, kVpnIf, V::V4, false}, {Port::Ruled, kVpnIf, V::V6, true}}},
    {"emptyWeightFallsBelowExplicitLowWeight",
     47040,
     {{0, V::V4, Weight::Uint8Low, kVpnIf, FWP_ACTION_PERMIT},
      {0, V::V4, Weight::Empty, kVpnIf, FWP_ACTION_BLOCK}},
     {{Port::Ruled, kVpnIf, V::V4, true}}},
    {"blockInAnySublayerWins",
     47050,
     {{0, V::V4, Weight::Uint8High, kVpnIf, FWP_ACTION_PERMIT},
      {1, V::V4, Weight::Empty, std::nullopt, FWP_ACTION_BLOCK}},
     {{Port::Ruled, kVpnIf, V::V4, false}, {Port::Other, kVpnIf, V::V4, true}}},
};

GUID newKey() {
  UUID key;
  UuidCreate(&key);
  return key;
}

// One dynamic session with a fresh sublayer per index used by the case.
class Session {
 public:
  explicit Session(int sublayers) {
    FWPM_SESSION0 session{};
    session.flags = FWPM_SESSION_FLAG_DYNAMIC;
    EXPECT_EQ(FwpmEngineOpen0(nullptr, RPC_C_AUTHN_WINNT, nullptr, &session, &engine_), 0u);
    for (int i = 0; i < sublayers; ++i) {
      FWPM_SUBLAYER0 sublayer{};
      sublayer.subLayerKey = newKey();
      sublayer.displayData.name = const_cast<wchar_t*>(L"lab arbitration test");
      sublayer.weight = static_cast<UINT16>(0x100 + i);
      EXPECT_EQ(FwpmSubLayerAdd0(engine_, &sublayer, nullptr), 0u);
      keys_.push_back(sublayer.subLayerKey);
    }
  }
  ~Session() { close(); }

  DWORD close() {
    DWORD result = engine_ ? FwpmEngineClose0(engine_) : 0;
    engine_ = nullptr;
    return result;
  }

  DWORD add(const Rule& rule, UINT16 port, UINT64* id = nullptr) {
    FWPM_FILTER_CONDITION0 conditions[2] = {};
    conditions[0].fieldKey = fwp_def::kConditionIpRemotePort;
    conditions[0].matchType = FWP_MATCH_EQUAL;
    conditions[0].conditionValue.type = FWP_UINT16;
    conditions[0].conditionValue.uint16 = port;
    conditions[1].fieldKey = fwp_def::kConditionInterfaceIndex;
    conditions[1].matchType = FWP_MATCH_EQUAL;
    conditions[1].conditionValue.type = FWP_UINT32;
    conditions[1].conditionValue.uint32 = rule.onlyInterface.value_or(0);

    UINT64 heaviest = ~0ULL;
    FWPM_FILTER0 filter{};
    filter.displayData.name = const_cast<wchar_t*>(L"lab arbitration test");
    filter.layerKey = rule.version == V::V4 ? fwp_def::kLayerAleAuthConnectV4 : fwp_def::kLayerAleAuthConnectV6;
    filter.subLayerKey = keys_.at(rule.sublayer);
    filter.weight.type = rule.weight == Weight::Empty ? FWP_EMPTY : rule.weight == Weight::Uint64Max ? FWP_UINT64 : FWP_UINT8;
    if (rule.weight == Weight::Uint8Low) filter.weight.uint8 = 1;
    if (rule.weight == Weight::Uint8High) filter.weight.uint8 = 15;
    if (rule.weight == Weight::Uint64Max) filter.weight.uint64 = &heaviest;
    filter.numFilterConditions = rule.onlyInterface ? 2 : 1;
    filter.filterCondition = conditions;
    filter.action.type = rule.action;
    return FwpmFilterAdd0(engine_, &filter, nullptr, id);
  }

  HANDLE engine() const { return engine_; }
  const GUID& sublayer(int index) const { return keys_.at(index); }

 private:
  HANDLE engine_ = nullptr;
  std::vector<GUID> keys_;
};

UINT16 portOf(const ArbitrationCase& c, const Expectation& e) {
  return e.port == Port::Ruled ? c.port : static_cast<UINT16>(c.port + kOtherPortOffset);
}

bool passes(const ArbitrationCase& c, const Expectation& e) {
  return lab::probe({portOf(c, e), e.interfaceIndex, e.version}).permitted;
}

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const ArbitrationCase& c, std::ostream* out) { *out << c.label; }

class WfpArbitration : public testing::TestWithParam<ArbitrationCase> {};

TEST_P(WfpArbitration, DecidesLikeTheFilterEngineAndForgetsClosedSessions) {
  const ArbitrationCase& c = GetParam();
  Session session(2);
  for (const Rule& rule : c.rules) ASSERT_EQ(session.add(rule, c.port), 0u);
  for (const Expectation& e : c.expectations)
    EXPECT_EQ(passes(c, e), e.passes) << "port " << portOf(c, e) << " interface " << e.interfaceIndex
                                      << (e.version == V::V4 ? " IPv4" : " IPv6");
  ASSERT_EQ(session.close(), 0u);
  for (const Expectation& e : c.expectations) EXPECT_TRUE(passes(c, e)) << "after close, port " << portOf(c, e);
}

INSTANTIATE_TEST_SUITE_P(Rules, WfpArbitration, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<ArbitrationCase>& info) { return std::string(info.param.label); });

TEST(WfpEngine, KeepsEveryFieldOfAFilterAndAnswersLikeWfpToMistakes) {
  constexpr UINT16 kFieldsPort = 47060;
  Session session(1);
  UINT64 id = 0;
  ASSERT_EQ(session.add({0, V::V6, Weight::Uint8High, kVpnIf, FWP_ACTION_PERMIT}, kFieldsPort, &id), 0u);

  lab::Snapshot state = lab::snapshot();
  auto filter = std::find_if(state.filters.begin(), state.filters.end(), [&](const lab::Filter& f) { return f.id == id; });
  ASSERT_NE(filter, state.filters.end());
  EXPECT_EQ(filter->name, L"lab arbitration test");
  EXPECT_FALSE(filter->hasDescription);
  EXPECT_TRUE(IsEqualGUID(filter->layerKey, fwp_def::kLayerAleAuthConnectV6));
  EXPECT_TRUE(IsEqualGUID(filter->subLayerKey, session.sublayer(0)));
  EXPECT_EQ(filter->weightType, static_cast<UINT32>(FWP_UINT8));
  EXPECT_EQ(filter->weightValue, 15u);
  EXPECT_EQ(filter->actionType, static_cast<UINT32>(FWP_ACTION_PERMIT));
  ASSERT_EQ(filter->conditions.size(), 2u);
  EXPECT_TRUE(IsEqualGUID(filter->conditions[0].fieldKey, fwp_def::kConditionIpRemotePort));
  EXPECT_EQ(filter->conditions[0].valueType, static_cast<UINT32>(FWP_UINT16));
  EXPECT_EQ(filter->conditions[0].value, kFieldsPort);
  EXPECT_TRUE(IsEqualGUID(filter->conditions[1].fieldKey, fwp_def::kConditionInterfaceIndex));
  EXPECT_EQ(filter->conditions[1].value, kVpnIf);

  FWPM_SUBLAYER0* copy = nullptr;
  ASSERT_EQ(FwpmSubLayerGetByKey0(session.engine(), &session.sublayer(0), &copy), 0u);
  EXPECT_STREQ(copy->displayData.name, L"lab arbitration test");
  EXPECT_EQ(copy->weight, 0x100);
  FwpmFreeMemory0(reinterpret_cast<void**>(&copy));
  EXPECT_EQ(copy, nullptr);

  GUID absent = newKey();
  EXPECT_EQ(FwpmSubLayerGetByKey0(session.engine(), &absent, &copy), static_cast<DWORD>(FWP_E_SUBLAYER_NOT_FOUND));
  FWPM_SUBLAYER0 again{};
  again.subLayerKey = session.sublayer(0);
  again.displayData.name = const_cast<wchar_t*>(L"again");
  EXPECT_EQ(FwpmSubLayerAdd0(session.engine(), &again, nullptr), static_cast<DWORD>(FWP_E_ALREADY_EXISTS));

  HANDLE engine = session.engine();
  ASSERT_EQ(session.close(), 0u);
  EXPECT_EQ(FwpmSubLayerGetByKey0(engine, &absent, &copy), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_EQ(FwpmEngineClose0(engine), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  state = lab::snapshot();
  EXPECT_TRUE(std::none_of(state.filters.begin(), state.filters.end(), [&](const lab::Filter& f) { return f.id == id; }));
}

}  // namespace
