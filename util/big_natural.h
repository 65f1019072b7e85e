// A natural number of up to 4096 bits in fixed storage: exact comparisons
// when a number must be rounded to double and a 64-bit approximation cannot
// decide, and the table of powers of five built at compile time.  Nothing is
// allocated, so it works in constant expressions and cannot fail at run time.
#pragma once

#include "platform/fatal.h"

#include <array>
#include <bit>
#include <cstdint>

namespace zelk {

// Outside constant evaluation a number that outgrows the storage can only
// be a bug in the caller's size bounds.
[[noreturn]] inline void BigNaturalOverflow() { Fatal("BigNatural outgrew its 4096 bits"); }

class BigNatural {
public:
    static constexpr int kLimbs = 128;

    constexpr BigNatural() = default;
    constexpr explicit BigNatural(std::uint64_t value) {
        while (value != 0) {
            m_limbs[m_size++] = static_cast<std::uint32_t>(value);
            value >>= 32;
        }
    }

    constexpr bool IsZero() const { return m_size == 0; }

    constexpr int BitLength() const {
        return m_size == 0 ? 0 : 32 * (m_size - 1) + std::bit_width(m_limbs[m_size - 1]);
    }

    // this = this * factor + addend
    constexpr void MultiplyAdd(std::uint32_t factor, std::uint32_t addend) {
        std::uint64_t carry = addend;
        for (int i = 0; i < m_size; ++i) {
            std::uint64_t const t = std::uint64_t(m_limbs[i]) * factor + carry;
            m_limbs[i] = static_cast<std::uint32_t>(t);
            carry = t >> 32;
        }
        if (carry != 0) Push(static_cast<std::uint32_t>(carry));
        Trim();
    }

    constexpr void Multiply(std::uint64_t factor) {
        auto const low = static_cast<std::uint32_t>(factor);
        auto const high = static_cast<std::uint32_t>(factor >> 32);
        if (high == 0) return MultiplyAdd(low, 0);
        if (m_size + 2 > kLimbs) BigNaturalOverflow();
        std::array<std::uint32_t, kLimbs> product{};
        for (int shift = 0; shift < 2; ++shift) {
            std::uint32_t const part = shift == 0 ? low : high;
            std::uint64_t carry = 0;
            for (int i = 0; i < m_size; ++i) {
                std::uint64_t const t = std::uint64_t(m_limbs[i]) * part + product[i + shift] + carry;
                product[i + shift] = static_cast<std::uint32_t>(t);
                carry = t >> 32;
            }
            product[m_size + shift] = static_cast<std::uint32_t>(carry);
        }
        m_limbs = product;
        m_size += 2;
        Trim();
    }

    // this = this * base^exponent, in steps of the largest power of base
    // that fits in 32 bits.
    constexpr void MultiplyPower(std::uint32_t base, std::int64_t exponent) {
        if (base < 2) return;
        std::uint32_t step = base;
        int stepExponent = 1;
        while (std::uint64_t(step) * base <= 0xFFFFFFFFu) {
            step *= base;
            ++stepExponent;
        }
        for (; exponent >= stepExponent; exponent -= stepExponent) MultiplyAdd(step, 0);
        std::uint32_t rest = 1;
        for (; exponent > 0; --exponent) rest *= base;
        MultiplyAdd(rest, 0);
    }

    // this = this / divisor, rounded down; returns the remainder.
    constexpr std::uint32_t Divide(std::uint32_t divisor) {
        std::uint64_t remainder = 0;
        for (int i = m_size - 1; i >= 0; --i) {
            std::uint64_t const t = (remainder << 32) | m_limbs[i];
            m_limbs[i] = static_cast<std::uint32_t>(t / divisor);
            remainder = t % divisor;
        }
        Trim();
        return static_cast<std::uint32_t>(remainder);
    }

    constexpr void ShiftLeft(int bits) {
        if (m_size == 0 || bits <= 0) return;
        int const limbs = bits / 32;
        int const rest = bits % 32;
        if (m_size + limbs + 1 > kLimbs) BigNaturalOverflow();
        m_limbs[m_size + limbs] = 0;
        for (int i = m_size - 1; i >= 0; --i) {
            std::uint64_t const t = std::uint64_t(m_limbs[i]) << rest;
            m_limbs[i + limbs + 1] |= static_cast<std::uint32_t>(t >> 32);
            m_limbs[i + limbs] = static_cast<std::uint32_t>(t);
        }
        for (int i = 0; i < limbs; ++i) m_limbs[i] = 0;
        m_size += limbs + 1;
        Trim();
    }

    // `count` (at most 64) bits starting at bit `from` (0 is the lowest).
    constexpr std::uint64_t Bits(int from, int count) const {
        if (count <= 0) return 0;
        int const limb = from / 32;
        int const shift = from % 32;
        std::uint64_t const low = Limb(limb) | std::uint64_t(Limb(limb + 1)) << 32;
        std::uint64_t value = low >> shift;
        if (shift != 0) value |= std::uint64_t(Limb(limb + 2)) << (64 - shift);
        return count >= 64 ? value : value & ((std::uint64_t(1) << count) - 1);
    }

    // Whether any bit below bit `position` is set.
    constexpr bool AnyBitBelow(int position) const {
        int const limb = position / 32;
        for (int i = 0; i < limb && i < m_size; ++i)
            if (m_limbs[i] != 0) return true;
        return (Limb(limb) & ((std::uint64_t(1) << (position % 32)) - 1)) != 0;
    }

    // -1, 0 or 1 as a is less than, equal to or greater than b.
    friend constexpr int Compare(BigNatural const& a, BigNatural const& b) {
        if (a.m_size != b.m_size) return a.m_size < b.m_size ? -1 : 1;
        for (int i = a.m_size - 1; i >= 0; --i)
            if (a.m_limbs[i] != b.m_limbs[i]) return a.m_limbs[i] < b.m_limbs[i] ? -1 : 1;
        return 0;
    }

private:
    constexpr std::uint32_t Limb(int i) const { return i < m_size ? m_limbs[i] : 0; }
    constexpr void Push(std::uint32_t limb) {
        if (m_size == kLimbs) BigNaturalOverflow();
        m_limbs[m_size++] = limb;
    }
    constexpr void Trim() {
        while (m_size > 0 && m_limbs[m_size - 1] == 0) --m_size;
    }

    std::array<std::uint32_t, kLimbs> m_limbs{};
    int m_size = 0;  // limbs in use; the highest one is not zero
};

}  // namespace zelk
