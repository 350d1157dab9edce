// The benchmark program: a workstation whose monitor output is destination 7, debugger output
// counted instead of written, then every benchmark.
#include "bench_support.h"
#include "env_guard.h"
#include "temp_system_tree.h"
#include "vesk_winapi.h"

namespace {

void countDebugText(const char*, void* writes) {
    ++*static_cast<long long*>(writes);
}

} // namespace

int main(int argc, char** argv) {
    temp_system_tree tree;
    tree.writeConfigDb("[workstation_settings.12]\nmonitor=7\n");
    env_guard env;
    tree.activate(env);
    env.set("CC_WORKSTATION", "12");
    long long debugWrites = 0;
    vesk_set_debug_sink(countDebugText, &debugWrites);

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    bench::addEventBenchmarks();
    bench::addCommandBenchmarks();
    bench::addDecoderBenchmarks();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    vesk_set_debug_sink(nullptr, nullptr);
    return 0;
}
