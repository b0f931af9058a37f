#include "trace/format.h"

namespace {

struct Output {
  char *out;
  size_t room;
  size_t length; // of the whole text, written or not
};

void Put(Output *o, char c) {
  if (o->length + 1 < o->room)
    o->out[o->length] = c;
  o->length++;
}

void PutRepeated(Output *o, char c, int count) {
  while (count-- > 0)
    Put(o, c);
}

// digits: the value's digits, least significant first.
void PutNumber(Output *o, unsigned long value, unsigned base, int upper,
               int negative, int zeroPad, int width, int precision) {
  const char *kDigits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
  char digits[24];
  int n = 0;
  // A precision of 0 prints nothing for the value 0, as printf does.
  if (value || precision != 0)
    do {
      digits[n++] = kDigits[value % base];
      value /= base;
    } while (value);
  int zeros = precision > n ? precision - n : 0;
  int total = n + zeros + negative;
  if (precision < 0 && zeroPad && width > total) {
    zeros += width - total;
    total = width;
  }
  PutRepeated(o, ' ', width - total);
  if (negative)
    Put(o, '-');
  PutRepeated(o, '0', zeros);
  while (n)
    Put(o, digits[--n]);
}

} // namespace

int TraceFormatV(char *out, size_t room, const char *format, va_list args) {
  Output o = {out, room, 0};
  for (const char *f = format; *f; f++) {
    if (*f != '%') {
      Put(&o, *f);
      continue;
    }
    f++;
    int zeroPad = 0;
    for (; *f == '0'; f++)
      zeroPad = 1;
    int width = 0;
    for (; *f >= '0' && *f <= '9'; f++)
      width = width * 10 + (*f - '0');
    int precision = -1;
    if (*f == '.') {
      f++;
      precision = 0;
      if (*f == '*') {
        precision = va_arg(args, int);
        f++;
      } else {
        for (; *f >= '0' && *f <= '9'; f++)
          precision = precision * 10 + (*f - '0');
      }
    }
    int isLong = 0;
    for (; *f == 'l'; f++)
      isLong = 1;
    switch (*f) {
    case 's': {
      const char *text = va_arg(args, const char *);
      if (!text)
        text = "(null)";
      size_t n = 0;
      // Never a byte past the precision: the text need not be terminated.
      while ((precision < 0 || n < (size_t)precision) && text[n])
        n++;
      PutRepeated(&o, ' ', width - (int)n);
      for (size_t i = 0; i < n; i++)
        Put(&o, text[i]);
      break;
    }
    case 'c':
      PutRepeated(&o, ' ', width - 1);
      Put(&o, (char)va_arg(args, int));
      break;
    case 'd':
    case 'i': {
      long value = isLong ? va_arg(args, long) : va_arg(args, int);
      unsigned long magnitude =
          value < 0 ? 0ul - (unsigned long)value : (unsigned long)value;
      PutNumber(&o, magnitude, 10, 0, value < 0, zeroPad, width, precision);
      break;
    }
    case 'u':
    case 'x':
    case 'X': {
      unsigned long value =
          isLong ? va_arg(args, unsigned long) : va_arg(args, unsigned int);
      PutNumber(&o, value, *f == 'u' ? 10 : 16, *f == 'X', 0, zeroPad, width,
                precision);
      break;
    }
    case '%':
      Put(&o, '%');
      break;
    default: // not a conversion of this formatter: the text ends here
      if (room)
        out[o.length < room ? o.length : room - 1] = 0;
      return (int)o.length;
    }
    if (!*f)
      break;
  }
  if (room)
    out[o.length < room ? o.length : room - 1] = 0;
  return (int)o.length;
}

int TraceFormat(char *out, size_t room, const char *format, ...) {
  va_list args;
  va_start(args, format);
  int n = TraceFormatV(out, room, format, args);
  va_end(args);
  return n;
}
