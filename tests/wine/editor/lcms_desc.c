/* Prints a profile's description as Little CMS reads it (with -w, from its wide reader, as
   UTF-8); fails when it cannot open the profile or the header's size field differs from the
   file's length. */
#include <lcms2.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

/* The wide text as UTF-8; UTF-16 surrogate pairs, as some readers hand them over, are
   joined first. */
static void PrintUtf8(const wchar_t* text) {
  for (const wchar_t* p = text; *p; ++p) {
    unsigned long c = (unsigned long)*p;
    if (c >= 0xD800 && c < 0xDC00 && p[1] >= 0xDC00 && p[1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + ((unsigned long)p[1] - 0xDC00);
      ++p;
    }
    if (c < 0x80) {
      putchar((int)c);
    } else if (c < 0x800) {
      putchar((int)(0xC0 | (c >> 6)));
      putchar((int)(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
      putchar((int)(0xE0 | (c >> 12)));
      putchar((int)(0x80 | ((c >> 6) & 0x3F)));
      putchar((int)(0x80 | (c & 0x3F)));
    } else {
      putchar((int)(0xF0 | (c >> 18)));
      putchar((int)(0x80 | ((c >> 12) & 0x3F)));
      putchar((int)(0x80 | ((c >> 6) & 0x3F)));
      putchar((int)(0x80 | (c & 0x3F)));
    }
  }
  putchar('\n');
}

int main(int argc, char** argv) {
  const int wide = argc == 3 && strcmp(argv[2], "-w") == 0;
  if (argc != 2 && !wide) return 2;
  cmsHPROFILE profile = cmsOpenProfileFromFile(argv[1], "r");
  if (!profile) {
    fprintf(stderr, "%s: Little CMS cannot open it\n", argv[1]);
    return 1;
  }
  char* text = NULL;
  wchar_t* wtext = NULL;
  if (wide) {
    const cmsUInt32Number bytes = cmsGetProfileInfo(profile, cmsInfoDescription, "en", "US", NULL, 0);
    wtext = calloc(bytes / sizeof(wchar_t) + 1, sizeof(wchar_t));
    if (!wtext) return 1;
    cmsGetProfileInfo(profile, cmsInfoDescription, "en", "US", wtext, bytes);
  } else {
    const cmsUInt32Number needed = cmsGetProfileInfoASCII(profile, cmsInfoDescription, "en", "US", NULL, 0);
    text = calloc(needed + 1, 1);
    if (!text) return 1;
    cmsGetProfileInfoASCII(profile, cmsInfoDescription, "en", "US", text, needed + 1);
  }
  cmsCloseProfile(profile);

  FILE* f = fopen(argv[1], "rb");
  unsigned char size[4];
  if (!f || fread(size, 1, 4, f) != 4) return 1;
  fseek(f, 0, SEEK_END);
  const long length = ftell(f);
  fclose(f);
  const unsigned long stored =
      (unsigned long)size[0] << 24 | (unsigned long)size[1] << 16 | size[2] << 8 | size[3];
  if (stored != (unsigned long)length) {
    fprintf(stderr, "%s: header size %lu, file length %ld\n", argv[1], stored, length);
    return 1;
  }
  if (wide) PrintUtf8(wtext); else printf("%s\n", text);
  free(text);
  free(wtext);
  return 0;
}
