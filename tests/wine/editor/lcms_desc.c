/* Prints a profile's description as Little CMS reads it; fails when it cannot open the
   profile or the header's size field differs from the file's length. */
#include <lcms2.h>
#include <stdio.h>
#include <stdlib.h>

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  cmsHPROFILE profile = cmsOpenProfileFromFile(argv[1], "r");
  if (!profile) {
    fprintf(stderr, "%s: Little CMS cannot open it\n", argv[1]);
    return 1;
  }
  const cmsUInt32Number needed = cmsGetProfileInfoASCII(profile, cmsInfoDescription, "en", "US", NULL, 0);
  char* text = calloc(needed + 1, 1);
  if (!text) return 1;
  cmsGetProfileInfoASCII(profile, cmsInfoDescription, "en", "US", text, needed + 1);
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
  printf("%s\n", text);
  free(text);
  return 0;
}
