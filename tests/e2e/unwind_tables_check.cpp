// Checks the compacted unwind tables of the shipped 32-bit stub with the unwinder's own lookup: each
// image (as linked, and as shipped after tools/compact-eh-frame.py) is laid out at its base address,
// its .eh_frame is registered with libgcc, and for every address of the code the frame description
// libgcc finds must mean the same in both (same function start and length, same instructions, same
// LSDA and the same CIE contents, with its pc-relative addresses resolved).
//   unwind_tables_check <linked exe> <shipped exe>
#include <sys/mman.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

extern "C" {
struct dwarf_eh_bases {
  void* tbase;
  void* dbase;
  void* func;
};
void __register_frame_info(const void* begin, void* object);
void* __deregister_frame_info(const void* begin);
const void* _Unwind_Find_FDE(void* pc, dwarf_eh_bases* bases);
}

namespace {

std::uint32_t U32(const unsigned char* p) {
  std::uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}
std::uint16_t U16(const unsigned char* p) {
  std::uint16_t v;
  std::memcpy(&v, p, 2);
  return v;
}
// Target of a pc-relative signed 32-bit field; zero stands for none.
std::uint32_t PcRelative(const unsigned char* field) {
  const std::uint32_t value = U32(field);
  if (value == 0) return 0;
  return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(field)) + value;
}

struct Layout {
  std::uint32_t base = 0, size = 0, textStart = 0, textEnd = 0, frame = 0;
};

// Lays the image out at its base address; false (with a message) when it cannot.
bool Map(const std::string& path, Layout& layout) {
  std::ifstream in(path, std::ios::binary);
  const std::vector<unsigned char> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (file.size() < 0x400 || file[0] != 'M' || file[1] != 'Z') {
    std::fprintf(stderr, "%s: not an executable\n", path.c_str());
    return false;
  }
  const unsigned char* pe = file.data() + U32(file.data() + 0x3C);
  const unsigned char* optional = pe + 24;
  layout.base = U32(optional + 28);
  layout.size = U32(optional + 56);
  void* at = mmap(reinterpret_cast<void*>(static_cast<std::uintptr_t>(layout.base)), layout.size,
                  PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED_NOREPLACE, -1, 0);
  if (at != reinterpret_cast<void*>(static_cast<std::uintptr_t>(layout.base))) {
    std::fprintf(stderr, "%s: cannot lay out the image at 0x%x\n", path.c_str(), layout.base);
    return false;
  }
  auto* image = static_cast<unsigned char*>(at);
  std::memcpy(image, file.data(), U32(optional + 60));
  const unsigned char* section = optional + U16(pe + 20);
  for (unsigned i = 0; i < U16(pe + 6); ++i, section += 40) {
    const std::string name(reinterpret_cast<const char*>(section), strnlen(reinterpret_cast<const char*>(section), 8));
    const std::uint32_t virtualSize = U32(section + 8), rva = U32(section + 12);
    const std::uint32_t rawSize = U32(section + 16), rawAt = U32(section + 20);
    std::memcpy(image + rva, file.data() + rawAt, rawSize < virtualSize ? rawSize : virtualSize);
    if (name == ".text") {
      layout.textStart = layout.base + rva;
      layout.textEnd = layout.base + rva + virtualSize;
    }
    if (name == ".eh_fram") layout.frame = layout.base + rva;
  }
  if (layout.textStart == 0 || layout.frame == 0) {
    std::fprintf(stderr, "%s: no .text or .eh_frame section\n", path.c_str());
    return false;
  }
  return true;
}

// What the unwinder reads from a frame description: the function it covers, the augmentation and
// call frame instructions, the LSDA, and its CIE, pc-relative fields resolved.
std::string Meaning(const unsigned char* fde, std::uint32_t function) {
  const unsigned char* cie = fde + 4 - U32(fde + 4);
  const std::uint32_t fdeLength = U32(fde), cieLength = U32(cie);
  std::string text = std::to_string(function) + "+" + std::to_string(U32(fde + 12));
  const char* augmentation = reinterpret_cast<const char*>(cie + 9);
  const bool hasLsda = std::strchr(augmentation, 'L') != nullptr;
  // The FDE's augmentation data (GCC writes its length in one byte) and instructions.
  const unsigned char* data = fde + 16;
  text += "|fde:" + std::to_string(*data) + ":";
  if (hasLsda && *data == 4) {
    text += std::to_string(PcRelative(data + 1));
    text.append(reinterpret_cast<const char*>(data + 5), fde + 4 + fdeLength - (data + 5));
  } else {
    text.append(reinterpret_cast<const char*>(data), fde + 4 + fdeLength - data);
  }
  // The CIE: everything but a personality given pc-relative (encoding 0x9B), which is resolved.
  text += "|cie:";
  const unsigned char* end = cie + 4 + cieLength;
  const unsigned char* personality = nullptr;
  if (std::strcmp(augmentation, "zPLR") == 0) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(augmentation) + 5;
    while (*p & 0x80) ++p;  // code alignment
    ++p;
    while (*p & 0x80) ++p;  // data alignment
    ++p;
    p += 2;                 // return register, augmentation length
    if (*p == 0x9B) personality = p + 1;
  }
  for (const unsigned char* p = cie + 8; p < end; ++p) {
    if (personality != nullptr && p == personality) {
      text += "@" + std::to_string(PcRelative(p));
      p += 3;
    } else {
      text += static_cast<char>(*p);
    }
  }
  return text;
}

// For every code address, the meaning of the frame description libgcc finds for it ("" for none).
bool Lookups(const std::string& path, Layout& layout, std::vector<std::string>& meanings) {
  if (!Map(path, layout)) return false;
  alignas(16) static unsigned char object[256];
  std::memset(object, 0, sizeof object);
  const void* frame = reinterpret_cast<const void*>(static_cast<std::uintptr_t>(layout.frame));
  __register_frame_info(frame, object);
  std::map<const void*, std::string> known;
  for (std::uint32_t pc = layout.textStart; pc < layout.textEnd; ++pc) {
    dwarf_eh_bases bases{};
    const void* fde = _Unwind_Find_FDE(reinterpret_cast<void*>(static_cast<std::uintptr_t>(pc)), &bases);
    if (fde == nullptr) {
      meanings.emplace_back();
      continue;
    }
    auto it = known.find(fde);
    if (it == known.end()) {
      const auto function = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(bases.func));
      it = known.emplace(fde, Meaning(static_cast<const unsigned char*>(fde), function)).first;
    }
    meanings.push_back(it->second);
  }
  __deregister_frame_info(frame);
  munmap(reinterpret_cast<void*>(static_cast<std::uintptr_t>(layout.base)), layout.size);
  std::printf("%s: %zu frame descriptions cover the code\n", path.c_str(), known.size());
  return !known.empty();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: unwind_tables_check <linked exe> <shipped exe>\n");
    return 2;
  }
  Layout linkedLayout, shippedLayout;
  std::vector<std::string> linked, shipped;
  if (!Lookups(argv[1], linkedLayout, linked) || !Lookups(argv[2], shippedLayout, shipped)) return 1;
  if (linkedLayout.textStart != shippedLayout.textStart || linked.size() != shipped.size()) {
    std::fprintf(stderr, "the code of the two images differs in place or size\n");
    return 1;
  }
  for (std::size_t i = 0; i < linked.size(); ++i) {
    if (linked[i] != shipped[i]) {
      std::fprintf(stderr, "at 0x%zx the unwinder reads a different frame description\n",
                   static_cast<std::size_t>(linkedLayout.textStart) + i);
      return 1;
    }
  }
  std::printf("the unwinder reads the same frame description at each of %zu code addresses\n", linked.size());
  return 0;
}
