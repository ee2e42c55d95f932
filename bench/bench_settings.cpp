// Settings lookups run many times a second from the periodic actions; this measures a
// read from a store of realistic size.
#include "settings/u_tmbSetup.h"

#include <benchmark/benchmark.h>

static void BM_SettingsGetBool(benchmark::State &state)
{
    tSetupClass setup(false);
    for (int i = 0; i < state.range(0); ++i)
        setup.setString(QStringLiteral("someSettingKey%1").arg(i), QStringLiteral("true"));
    const QString key = QStringLiteral("SOMESETTINGKEY%1").arg(state.range(0) - 1);
    for (auto _ : state)
        benchmark::DoNotOptimize(setup.getBool(key, false));
}
BENCHMARK(BM_SettingsGetBool)->Arg(100)->Arg(1000);
