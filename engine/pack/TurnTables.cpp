// KvTurnTables (see TurnTables.h).
#include "TurnTables.h"

#include <cmath>
#include <cstring>

#include "AssetPack.h"

const char* const KvTurnTablesPackName = "TAB/sincos.f64";

namespace {
constexpr size_t TableBytes = (KvTurnSteps + 1) * sizeof(double);

void Compute(double* Sin, double* Cos) {
  const double Pi = 3.14159265358979323846;
  for (int32_t i = 0; i <= KvTurnSteps; ++i) {
    const double Angle = i * Pi / 540.0;
    Sin[i] = std::sin(Angle);
    Cos[i] = std::cos(Angle);
  }
}
}  // namespace

void KvTurnTables(double* Sin, double* Cos) {
  if (const KvAssetPack* Pack = KvActivePack()) {
    const auto Found = Pack->Files.find(KvTurnTablesPackName);
    if (Found != Pack->Files.end() && Found->second.size() == 2 * TableBytes) {
      std::memcpy(Sin, Found->second.data(), TableBytes);
      std::memcpy(Cos, Found->second.data() + TableBytes, TableBytes);
      return;
    }
  }
  Compute(Sin, Cos);
}

std::vector<uint8_t> KvComputedTurnTables() {
  double Sin[KvTurnSteps + 1], Cos[KvTurnSteps + 1];
  Compute(Sin, Cos);
  std::vector<uint8_t> Bytes(2 * TableBytes);
  std::memcpy(Bytes.data(), Sin, TableBytes);
  std::memcpy(Bytes.data() + TableBytes, Cos, TableBytes);
  return Bytes;
}
