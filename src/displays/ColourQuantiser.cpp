#include "displays/ColourQuantiser.h"

#include <array>
#include <unordered_map>

namespace kv {

namespace {

constexpr int Depth = 8;  // one level per bit of a colour component

struct tNode {
  std::array<int, 8> child;
  std::uint64_t red = 0, green = 0, blue = 0, count = 0;
  bool leaf = false;
  tNode() { child.fill(-1); }
};

class Octree {
 public:
  explicit Octree(int maxColours) : maxColours_(maxColours < 1 ? 1 : maxColours) {
    nodes_.emplace_back();
    reducible_[0].push_back(0);  // the root too, so a single-colour palette can be reached
  }

  void Add(tColour c, std::uint64_t weight) {
    int node = 0;
    for (int level = 0;; ++level) {
      if (level == Depth || nodes_[static_cast<size_t>(node)].leaf) {
        tNode& n = nodes_[static_cast<size_t>(node)];
        if (!n.leaf) {
          n.leaf = true;
          ++leaves_;
        }
        n.red += static_cast<std::uint64_t>(RedOf(c)) * weight;
        n.green += static_cast<std::uint64_t>(GreenOf(c)) * weight;
        n.blue += static_cast<std::uint64_t>(BlueOf(c)) * weight;
        n.count += weight;
        break;
      }
      const int shift = 7 - level;
      const int index = (((RedOf(c) >> shift) & 1) << 2) | (((GreenOf(c) >> shift) & 1) << 1) |
                        ((BlueOf(c) >> shift) & 1);
      int next = nodes_[static_cast<size_t>(node)].child[static_cast<size_t>(index)];
      if (next < 0) {
        next = NewNode();
        nodes_[static_cast<size_t>(node)].child[static_cast<size_t>(index)] = next;
        if (level + 1 < Depth) reducible_[static_cast<size_t>(level + 1)].push_back(next);
      }
      node = next;
    }
    while (leaves_ > maxColours_ && Reduce()) {
    }
  }

  std::vector<tColour> Palette() const {
    std::vector<tColour> palette;
    Collect(0, palette);
    return palette;
  }

 private:
  int NewNode() {
    if (!free_.empty()) {
      const int index = free_.back();
      free_.pop_back();
      nodes_[static_cast<size_t>(index)] = tNode();
      return index;
    }
    nodes_.emplace_back();
    return static_cast<int>(nodes_.size() - 1);
  }

  // Folds the children of the most recent inner node of the deepest level into it; false when
  // nothing is left to fold.
  bool Reduce() {
    for (int level = Depth - 1; level >= 0; --level) {
      auto& list = reducible_[static_cast<size_t>(level)];
      while (!list.empty()) {
        const int node = list.back();
        list.pop_back();
        tNode& n = nodes_[static_cast<size_t>(node)];
        if (n.leaf) continue;
        int merged = 0;
        for (int& c : n.child) {
          if (c < 0) continue;
          const tNode& child = nodes_[static_cast<size_t>(c)];
          n.red += child.red;
          n.green += child.green;
          n.blue += child.blue;
          n.count += child.count;
          ++merged;
          free_.push_back(c);
          c = -1;
        }
        n.leaf = true;
        leaves_ -= merged - 1;
        return true;
      }
    }
    return false;
  }

  void Collect(int node, std::vector<tColour>& palette) const {
    const tNode& n = nodes_[static_cast<size_t>(node)];
    if (n.leaf) {
      if (n.count == 0) return;
      const auto mean = [&](std::uint64_t sum) { return static_cast<int>((sum + n.count / 2) / n.count); };
      palette.push_back(MakeColour(mean(n.red), mean(n.green), mean(n.blue)));
      return;
    }
    for (int c : n.child) {
      if (c >= 0) Collect(c, palette);
    }
  }

  int maxColours_;
  int leaves_ = 0;
  std::vector<tNode> nodes_;
  std::vector<int> free_;
  std::array<std::vector<int>, Depth> reducible_;
};

}  // namespace

std::vector<tColour> OctreePalette(const QImage& image, int maxColours) {
  const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
  // Distinct colours first: pictures of this program have few, which keeps the tree small.
  std::unordered_map<tColour, std::uint64_t> counts;
  for (int y = 0; y < rgb.height(); ++y) {
    const QRgb* row = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
    for (int x = 0; x < rgb.width(); ++x) ++counts[FromQRgb(row[x])];
  }
  Octree tree(maxColours);
  for (const auto& [colour, count] : counts) tree.Add(colour, count);
  return tree.Palette();
}

int NearestPaletteIndex(const std::vector<tColour>& palette, tColour c) {
  int best = 0;
  long bestDistance = -1;
  for (size_t i = 0; i < palette.size(); ++i) {
    const long dr = RedOf(palette[i]) - RedOf(c);
    const long dg = GreenOf(palette[i]) - GreenOf(c);
    const long db = BlueOf(palette[i]) - BlueOf(c);
    const long distance = dr * dr + dg * dg + db * db;
    if (bestDistance < 0 || distance < bestDistance) {
      bestDistance = distance;
      best = static_cast<int>(i);
      if (distance == 0) break;
    }
  }
  return best;
}

}  // namespace kv
