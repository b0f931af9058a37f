// The units the fake's client view shows as an ASCII blank or hyphen under
// code page 1252, as the system's best fit converts them. The contract test
// checks each against the real system under Wine.
#ifndef QV_PLATFORM_FAKE_LOOK_ALIKES_H
#define QV_PLATFORM_FAKE_LOOK_ALIKES_H

static const struct {
  unsigned short unit;
  char shows;
} kLookAlikes1252[] = {
    {0x2000, ' '}, {0x2001, ' '}, {0x2002, ' '}, {0x2003, ' '},
    {0x2004, ' '}, {0x2005, ' '}, {0x2006, ' '}, {0x3000, ' '},
    {0x2010, '-'}, {0x2011, '-'}, {0x2212, '-'}, {0xFF0D, '-'},
};

#endif
