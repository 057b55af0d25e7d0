/* A plain C99 program using the installed library. */
#include <orvel.h>
#include <stdio.h>
#include <string.h>

int main(void) {
  ov_exif_init();
  if (strcmp(ov_version(), "1.1.0") != 0) return 1;
  if (ov_exif_abi_version() != 1 || ov_image_abi_version() != 1) return 1;
  if (strcmp(ov_exif_strerror(OV_EXIF_BAD_ARGUMENT), "unrecognized format / no metadata") != 0) return 1;
  if (mapImgStatus(1) != OV_IMAGE_UNSUPPORTED) return 1;
  ov_exif_buffer_free(NULL);
  printf("consumer ok: libOrvel %s\n", ov_version());
  return 0;
}
