#pragma once
// Runs the registered benchmarks inside a (by default offscreen) QApplication.
#include "benchstats.h"

#include <QApplication>
#include <benchmark/benchmark.h>

namespace bench {

inline int RunWithWidgets(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(Discard);
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

} // namespace bench
