// What reading a delivered XYZ export costs beside reading the soundings
// file of the same soundings: writes both (an export of 150 columns, of which
// the reader takes x, y, 30 values, 30 tops, the last bottom, the depth of
// investigation, the elevation and the line; and the soundings file a
// converter would write from it), reads each twice, and prints the best
// time of each, per sounding and per byte, and the ratio of the costs per
// byte.
//
//   tervox_read_delivered [SOUNDINGS [FOLDER]]
//
// SOUNDINGS defaults to 1,000,000 (an export of about 1.2 GB); FOLDER to the
// system's temporary folder. The files are removed at the end.
#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "formats/delivered.hpp"
#include "formats/soundings.hpp"

namespace {

constexpr int nlayer = 30;
constexpr int extra = 22;  // misfit columns nobody reads: 150 columns in all

void put(std::string& s, double v, int decimals) {
  char buf[32];
  const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, decimals);
  s.append(buf, r.ptr);
  s += ' ';
}

void put(std::string& s, float v) {
  char buf[32];
  const auto r = std::to_chars(buf, buf + sizeof buf, v);
  s.append(buf, r.ptr);
  s += ' ';
}

struct sizes {
  std::uintmax_t xyz = 0, native = 0;
};

sizes write_files(int n, const std::filesystem::path& xyz_path,
                  const std::filesystem::path& native_path) {
  std::mt19937 gen(1);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  std::vector<double> tops(nlayer);
  for (int k = 1; k < nlayer; ++k)
    tops[static_cast<std::size_t>(k)] =
        std::round((tops[static_cast<std::size_t>(k - 1)] + 1.0 + 0.08 * k) * 100) / 100;

  std::ofstream xyz(xyz_path, std::ios::binary);
  std::ofstream native(native_path, std::ios::binary);
  std::string h =
      "/INFO\n/generated for the reading benchmark\n/DUMMY\n/9999\n/COORDINATE SYSTEM\n"
      "/ETRS89 / UTM zone 33N (epsg:25833)\n/NUMBER OF LAYERS\n/30\n/ ====\n"
      "/ LINE_NO UTMX UTMY ELEVATION RESDATA DATE";
  for (int k = 1; k <= nlayer; ++k) h += " RHO_I_" + std::to_string(k);
  for (int k = 1; k <= nlayer; ++k) h += " RHO_I_STD" + std::to_string(k);
  for (int k = 1; k <= nlayer; ++k) h += " DEP_TOP_" + std::to_string(k);
  for (int k = 1; k <= nlayer; ++k) h += " DEP_BOT_" + std::to_string(k);
  for (int k = 1; k <= extra; ++k) h += " GATE_" + std::to_string(k);
  h += " DOI_CONSERVATIVE DOI_STANDARD\n/ ====\n";
  xyz << h;
  std::string nh = "Number of layers 30\nLayer thicknesses (m)";
  for (int k = 0; k + 1 < nlayer; ++k) {
    nh += ' ';
    char buf[32];
    nh.append(buf, std::to_chars(buf, buf + 32,
                                 static_cast<float>(tops[static_cast<std::size_t>(k + 1)] -
                                                    tops[static_cast<std::size_t>(k)]))
                       .ptr);
  }
  nh += "\nNumber of soundings " + std::to_string(n) + "\nx y values\n";
  native << nh;

  std::string a, b;
  for (int i = 0; i < n; ++i) {
    a.clear();
    b.clear();
    const double x = 300000.0 + 20000.0 * unit(gen);
    const double y = 6100000.0 + 20000.0 * unit(gen);
    a += "  ";
    put(a, static_cast<double>(1000 + i / 2000), 0);
    put(a, x, 1);
    put(a, y, 1);
    put(b, x, 1);
    put(b, y, 1);
    put(a, 50.0 + 40.0 * unit(gen), 1);
    put(a, unit(gen), 2);
    a += "2021-09-17 ";
    for (int k = 0; k < nlayer; ++k) {
      const auto v = static_cast<float>(std::round(std::pow(10.0, 3.0 * unit(gen)) * 10) / 10);
      put(a, v);
      put(b, v);
    }
    for (int k = 0; k < nlayer; ++k) put(a, 1.0 + unit(gen), 2);
    for (int k = 0; k < nlayer; ++k) put(a, tops[static_cast<std::size_t>(k)], 2);
    for (int k = 1; k < nlayer; ++k) put(a, tops[static_cast<std::size_t>(k)], 2);
    a += "9999 ";
    for (int k = 0; k < extra; ++k) put(a, unit(gen), 3);
    put(a, 80.0 + 40.0 * unit(gen), 1);
    put(a, 120.0 + 40.0 * unit(gen), 1);
    a.back() = '\n';
    b.back() = '\n';
    xyz << a;
    native << b;
  }
  xyz.close();
  native.close();
  return {std::filesystem::file_size(xyz_path), std::filesystem::file_size(native_path)};
}

template <class F>
double best_of_two(F&& read) {
  double best = 1e300;
  for (int run = 0; run < 2; ++run) {
    const auto t0 = std::chrono::steady_clock::now();
    read();
    const auto t1 = std::chrono::steady_clock::now();
    best = std::min(best, std::chrono::duration<double>(t1 - t0).count());
  }
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  const int n = argc > 1 ? std::atoi(argv[1]) : 1'000'000;
  const std::filesystem::path folder =
      argc > 2 ? std::filesystem::path(argv[2]) : std::filesystem::temp_directory_path();
  const auto xyz_path = folder / "tervox_read_delivered.xyz";
  const auto native_path = folder / "tervox_read_delivered.txt";
  std::printf("writing %d soundings of %d layers ...\n", n, nlayer);
  const sizes size = write_files(n, xyz_path, native_path);

  bool ok = true;
  const double t_native = best_of_two([&] {
    tervox::formats::survey s;
    std::ifstream in(native_path, std::ios::binary);
    ok = ok && tervox::formats::read_soundings(in, native_path.string(), s).status ==
                   tervox::formats::read_status::ok;
  });
  const double t_xyz = best_of_two([&] {
    tervox::formats::survey s;
    tervox::formats::survey_metadata about;
    std::ifstream in(xyz_path, std::ios::binary);
    const tervox::formats::read_outcome r =
        tervox::formats::read_xyz(in, xyz_path.string(), s, about);
    if (r.status != tervox::formats::read_status::ok) {
      std::fprintf(stderr, "%s\n", r.problem.message().c_str());
      ok = false;
    }
  });
  std::filesystem::remove(xyz_path);
  std::filesystem::remove(native_path);
  if (!ok) {
    std::fprintf(stderr, "a reader failed\n");
    return 1;
  }
  const auto report = [&](const char* what, double t, std::uintmax_t bytes) {
    std::printf("%-16s %8.1f MB  %7.3f s  %7.3f us/sounding  %6.3f ns/byte\n", what,
                static_cast<double>(bytes) / 1e6, t, t / n * 1e6,
                t / static_cast<double>(bytes) * 1e9);
  };
  report("soundings file", t_native, size.native);
  report("XYZ export", t_xyz, size.xyz);
  std::printf(
      "cost per byte, XYZ export / soundings file: %.2f\n",
      (t_xyz / static_cast<double>(size.xyz)) / (t_native / static_cast<double>(size.native)));
  return 0;
}
