#include "generate.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <iterator>
#include <string>

#include "call_list.h"
#include "probes.h"
#include "values.h"

namespace {

// SplitMix64: a generator written out here, so that every target and every
// standard library gives the same numbers for a seed.
class Numbers {
public:
    explicit Numbers(uint64_t seed) : state_(seed) {}
    uint64_t next()
    {
        uint64_t z = (state_ += 0x9e3779b97f4a7c15u);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9u;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebu;
        return z ^ (z >> 31);
    }
    uint64_t below(uint64_t limit) { return next() % limit; }

private:
    uint64_t state_;
};

struct Format {
    int fraction_bits, exponent_bits;
    uint64_t field(int bits) const { return (uint64_t{1} << bits) - 1; }
    uint64_t sign() const { return uint64_t{1} << (fraction_bits + exponent_bits); }
    uint64_t exponent_max() const { return field(exponent_bits); }
};

// A value of one of the classes, as bits of the probe's precision.
uint64_t value(Numbers &numbers, bool single)
{
    const Format f = single ? Format{23, 8} : Format{52, 11};
    const uint64_t sign = numbers.below(2) != 0 ? f.sign() : 0;
    const uint64_t fraction = numbers.next() & f.field(f.fraction_bits);
    const uint64_t quiet = uint64_t{1} << (f.fraction_bits - 1);
    const uint64_t all_ones = f.exponent_max() << f.fraction_bits;
    switch (numbers.below(8)) {
    case 0: // any normal value
        return sign | (1 + numbers.below(f.exponent_max() - 1)) << f.fraction_bits | fraction;
    case 1: // a normal value that "%f" shows with digits
    {
        const uint64_t bias = f.field(f.exponent_bits - 1);
        return sign | (bias - 20 + numbers.below(50)) << f.fraction_bits | fraction;
    }
    case 2: // subnormal
        return sign | (fraction != 0 ? fraction : 1);
    case 3: return sign;            // +0 and -0
    case 4: return sign | all_ones; // the infinities
    case 5: return sign | all_ones | quiet | fraction; // quiet NaN, any payload
    case 6: // signalling NaN, a payload not zero
    {
        const uint64_t payload = fraction & (quiet - 1);
        return sign | all_ones | (payload != 0 ? payload : 1);
    }
    default: // one ulp beside a short decimal
    {
        // (One number at a time: the operands of + are taken in no set order.)
        const uint64_t digits = 1 + numbers.below(9999);
        const int exponent = static_cast<int>(numbers.below(61)) - 30;
        const std::string text = std::to_string(digits) + "e" + std::to_string(exponent);
        uint64_t bits = 0;
        if (single) {
            float parsed = 0;
            std::from_chars(text.data(), text.data() + text.size(), parsed);
            bits = std::bit_cast<uint32_t>(parsed);
        } else {
            double parsed = 0;
            std::from_chars(text.data(), text.data() + text.size(), parsed);
            bits = std::bit_cast<uint64_t>(parsed);
        }
        return sign | (numbers.below(2) != 0 || bits == 0 ? bits + 1 : bits - 1);
    }
    }
}

// A file name: a few bytes from 0x01 to 0xFF, or now and then every one of
// them, line feeds included, from a random start.
std::string name(Numbers &numbers)
{
    std::string bytes;
    if (numbers.below(64) == 0) {
        const uint64_t start = numbers.below(255);
        for (uint64_t k = 0; k < 255; ++k) bytes += static_cast<char>(1 + (start + k) % 255);
    } else {
        for (uint64_t k = numbers.below(13); k > 0; --k) bytes += static_cast<char>(1 + numbers.below(255));
    }
    return bytes;
}

} // namespace

void generate_calls(uint64_t count, uint64_t seed, std::FILE *out)
{
    constexpr uint64_t group = 1000;
    Numbers numbers(seed);
    std::string text = "# " + std::to_string(count) + " calls made by quellot-call --generate " +
                       std::to_string(count) + " --seed " + std::to_string(seed) + "\n";
    for (uint64_t n = 0; n < count; ++n) {
        if (n % group == 0)
            text += "\n# calls " + std::to_string(n + 1) + " to " + std::to_string(std::min(count, n + group)) + "\n";
        const Probe &probe = probes[numbers.below(std::size(probes))];
        text += probe.name;
        text += '\t';
        text += hex_digits(value(numbers, probe.single), probe.single ? 8 : 16);
        if (probe.filename) text += "\t" + escape_filename(name(numbers));
        text += '\n';
        if (text.size() >= (size_t{1} << 16)) {
            std::fwrite(text.data(), 1, text.size(), out);
            text.clear();
        }
    }
    std::fwrite(text.data(), 1, text.size(), out);
}
