// Lists a directory of 10,000 profiles as the program does (enumerate, fill and sort the
// submission list, fit its column, load the first profile) and prints the time as a ratio
// to plain directory enumeration plus one profile load, measured in the same run. A second
// ratio compares the cost per profile at 10,000 and at 1,000 profiles: it stays near 1
// when the listing grows linearly (n log n for the sort).
#include "core/profiles/SiteProfile.h"
#include "core/profiles/SubmissionList.h"
#include "grid/ReportGrid.h"

#include <chrono>
#include <cstdio>
#include <dirent.h>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

std::filesystem::path makeProfiles(int count) {
    auto dir = std::filesystem::temp_directory_path() / ("larkspan-bench-list-" + std::to_string(count));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    std::mt19937 rng(1);
    for (int i = 0; i < count; ++i) {
        std::string name = "Site " + std::to_string(rng()) + " " + std::to_string(i);
        std::ofstream(dir / (name + ".ini"))
            << "[Settings]\nName=Owner\nURL=http://example.com/\nSite Title=" << name << "\n";
    }
    return dir;
}

template <typename F> double best(F f, int runs = 5) {
    double best = 1e99;
    for (int i = 0; i < runs; ++i) {
        auto t0 = Clock::now();
        f();
        best = std::min(best, std::chrono::duration<double>(Clock::now() - t0).count());
    }
    return best;
}

double listing(const std::filesystem::path& dir) {
    FixedWidthMeasure measure;
    return best([&] {
        ProfileFiles store(dir.string());
        TReportGrid list(1, 2, 0, 1);
        list.SetTextMeasure(&measure);
        auto names = store.list();
        fillSubmissionList(list, names);
        store.load(names.front());
    });
}

double enumeration(const std::filesystem::path& dir) {
    return best([&] {
        std::string first;
        DIR* d = ::opendir(dir.c_str());
        while (dirent* e = ::readdir(d))
            if (first.empty() && e->d_name[0] != '.') first = e->d_name;
        ::closedir(d);
        ProfileFiles(dir.string()).load(first.substr(0, first.size() - 4));
    });
}

} // namespace

int main() {
    auto small = makeProfiles(1000);
    auto large = makeProfiles(10000);
    double listSmall = listing(small);
    double listLarge = listing(large);
    double plainLarge = enumeration(large);
    double plainSmall = enumeration(small);
    std::printf("listing 10000 profiles: %.2f ms; enumeration + one load: %.2f ms; ratio %.2f\n",
                listLarge * 1e3, plainLarge * 1e3, listLarge / plainLarge);
    std::printf("cost per profile at 10000 vs 1000: listing ratio %.2f, enumeration ratio %.2f\n",
                (listLarge / 10000) / (listSmall / 1000), (plainLarge / 10000) / (plainSmall / 1000));
    std::filesystem::remove_all(small);
    std::filesystem::remove_all(large);
    return 0;
}
