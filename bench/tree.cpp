// Start-up with many names: opening an archive of 100,000 empty members and
// reading a configuration of 100,000 font styles, both in name order (as
// archivers and editors write them). The anchor is std::multimap, a
// red-black tree, inserting the same names in the same order in the same
// run. The tree each run built is checked outside the timed loop; the load
// average is printed beside the figures.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "MagWriter.h"
#include "FontStyle.h"
#include "MagazineConfig.h"
#include "ToolSystem.h"
#include "Tree.h"
#include "containr.h"

namespace {

const int kNames = 100000;

double loadAverage1()
{
    double l[1] = {-1};
    getloadavg(l, 1);
    return l[0];
}

std::vector<std::string> sortedNames(const char *prefix)
{
    std::vector<std::string> names;
    char name[32];
    for (int i = 0; i < kNames; i++) {
        snprintf(name, sizeof name, "%s%06d", prefix, i);
        names.push_back(name);
    }
    return names;
}

// The synthetic archive: every member empty and stored.
const std::vector<uint8_t> &archive()
{
    static std::vector<uint8_t> bytes = [] {
        MagArchive a;
        for (const std::string &n : sortedNames("dir\\member"))
            a.members.push_back(magFile(n, std::string()));
        return a.build();
    }();
    return bytes;
}

const std::string &configuration()
{
    static std::string text = [] {
        std::string t;
        for (const std::string &n : sortedNames("style"))
            t += "<fontstyle name=" + n + " size=12>\n";
        return t;
    }();
    return text;
}

void BM_OpenArchive100000Members(benchmark::State &state)
{
    const std::vector<uint8_t> &bytes = archive();
    ToolSystem sys(bytes.data(), bytes.size(), "big.dat");
    g_system = &sys;
    for (auto _ : state) {
        state.PauseTiming();
        g_container.close();
        state.ResumeTiming();
        if (!g_container.open())
            state.SkipWithError("the archive did not open");
    }
    // The members, "?edit.txt" and a lookup.
    if (Tree::count(g_container.root) != (unsigned)kNames + 1 ||
        !g_container.find("dir/member054321"))
        state.SkipWithError("wrong tree");
    g_container.close();
    g_system = nullptr;
    state.counters["members"] = kNames;
    state.counters["load_avg_1min"] = loadAverage1();
}
BENCHMARK(BM_OpenArchive100000Members)->Unit(benchmark::kMillisecond);

void BM_ReadConfiguration100000Styles(benchmark::State &state)
{
    const std::string &text = configuration();
    for (auto _ : state) {
        state.PauseTiming();
        g_magazine_config.deleteTrees();
        state.ResumeTiming();
        g_magazine_config.parse((const uint8_t *)text.data(), text.size());
    }
    if (Tree::count(g_magazine_config.fontStyles) != (unsigned)kNames ||
        !Tree::find(g_magazine_config.fontStyles, "style054321"))
        state.SkipWithError("wrong tree");
    g_magazine_config.deleteTrees();
    state.counters["styles"] = kNames;
    state.counters["load_avg_1min"] = loadAverage1();
}
BENCHMARK(BM_ReadConfiguration100000Styles)->Unit(benchmark::kMillisecond);

// The anchor: the same names, in the same order, into std::multimap.
void BM_AnchorMultimap100000Names(benchmark::State &state)
{
    std::vector<std::string> names = sortedNames("dir/member");
    size_t size = 0;
    for (auto _ : state) {
        std::multimap<std::string, int> tree;
        for (const std::string &n : names)
            tree.emplace(n, 0);
        size = tree.size();
        benchmark::DoNotOptimize(tree);
    }
    if (size != (size_t)kNames)
        state.SkipWithError("wrong size");
    state.counters["names"] = kNames;
    state.counters["load_avg_1min"] = loadAverage1();
}
BENCHMARK(BM_AnchorMultimap100000Names)->Unit(benchmark::kMillisecond);

} // namespace
