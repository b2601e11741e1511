// What the catalogue synchronisation remembers between passes: the version
// the server last gave for each catalogue list, whether each list must be
// downloaded at the next pass, the last taste setting and whether the next
// download is a full one. The service manager holds one; only the keep-alive
// worker touches it while that worker runs (others read it after it ended).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

// The seven catalogue lists that carry a version in the main configuration.
enum class CatalogueList : std::size_t {
  WorkSections,
  Bars,
  WareTypes,
  Goods,
  Materials,
  GoodsStock,
  MaterialStock,
};
inline constexpr std::size_t kCatalogueListCount = 7;

constexpr std::size_t Slot(CatalogueList list) { return static_cast<std::size_t>(list); }

struct CatalogueSyncState {
  // Every list is fetched at the first pass except the goods stock, which
  // waits for a version that differs from the kept one (the first one always
  // does, since nothing was kept).
  std::array<bool, kCatalogueListCount> changed{true, true, true, true, true, false, true};
  bool modesChanged = true;
  bool tasteChanged = true;
  std::array<std::int32_t, kCatalogueListCount> versions{-1, -1, -1, -1, -1, -1, -1};
  // A list whose download failed is fetched again at the next pass even
  // when its version stays the same, so one lost reply does not leave the
  // store stale until the server's next change.
  std::array<bool, kCatalogueListCount> retry{};
  std::u16string taste;
  // While set, downloads ask for everything (timestamp 0).
  bool fullDownload = true;

  bool& Changed(CatalogueList list) { return changed[Slot(list)]; }
  bool Changed(CatalogueList list) const { return changed[Slot(list)]; }
  std::int32_t& Version(CatalogueList list) { return versions[Slot(list)]; }
  std::int32_t Version(CatalogueList list) const { return versions[Slot(list)]; }

  void Failed(CatalogueList list) {
    changed[Slot(list)] = true;
    retry[Slot(list)] = true;
  }
  void Done(CatalogueList list) { retry[Slot(list)] = false; }
};
