// Test helper: copies the dialog template 103 (language 1033) of a program's resources into a file.
//   dialog_template.exe <program> <output file>
// Exit value 0 when the template was found and written, 1 otherwise.
#include <windows.h>

#include <cstdio>

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) return 2;
  const HMODULE module = LoadLibraryExW(argv[1], nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  if (module == nullptr) return 1;
  const HRSRC resource =
      FindResourceExW(module, RT_DIALOG, MAKEINTRESOURCEW(103), MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
  const HGLOBAL loaded = resource != nullptr ? LoadResource(module, resource) : nullptr;
  const void* bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
  if (bytes == nullptr) return 1;
  FILE* out = _wfopen(argv[2], L"wb");
  if (out == nullptr) return 1;
  const size_t size = SizeofResource(module, resource);
  const bool written = fwrite(bytes, 1, size, out) == size;
  return fclose(out) == 0 && written ? 0 : 1;
}
