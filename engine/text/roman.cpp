#include "engine/text/roman.hpp"

#include <cctype>

namespace tavrix {
namespace {

const char* const kUnits[10] = {"", "I", "II", "III", "IV", "V", "VI", "VII", "VIII", "IX"};
const char* const kTens[10] = {"", "X", "XX", "XXX", "XL", "L", "LX", "LXX", "LXXX", "XC"};
const char* const kHundreds[10] = {"", "C", "CC", "CCC", "CD", "D", "DC", "DCC", "DCCC", "CM"};
const char* const kThousands[10] = {"", "M", "MM", "MMM", "MMMM", "MMMMM", "", "", "", ""};

} // namespace

std::string toRoman(int32_t v, bool lowerCase) {
    // The tables only cover 0..9999. A negative number is shown by its magnitude with a leading
    // minus sign, and from 10000 up only the last four digits count, the same way the
    // thousands digits 6 to 9 already add nothing. Both keep every index inside the tables.
    std::string out;
    int64_t value = v;
    if (value < 0) {
        out += '-';
        value = -value;
    }
    value %= 10000;
    const int thousands = static_cast<int>(value / 1000);
    const int hundreds = static_cast<int>(value / 100 % 10);
    const int tens = static_cast<int>(value / 10 % 10);
    const int units = static_cast<int>(value % 10);
    out += kThousands[thousands];
    out += kHundreds[hundreds];
    out += kTens[tens];
    out += kUnits[units];
    if (lowerCase) {
        for (char& c : out)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return out;
}

} // namespace tavrix
