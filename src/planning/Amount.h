#pragma once

#include <QString>
#include <QStringView>

#include <cstdint>
#include <optional>

namespace vk {

// A decimal(18,2) amount, held exactly as a whole number of hundredths.
class Amount {
public:
    constexpr Amount() = default;
    static constexpr Amount fromCents(std::int64_t cents) { return Amount(cents); }
    // "12.50", "-0.05", "7", "12.5"; more than two decimals or other text gives nothing
    static std::optional<Amount> parse(QStringView text);

    constexpr std::int64_t cents() const { return cents_; }
    // always two decimals: "12.50"
    QString toString() const;

    friend constexpr bool operator==(Amount a, Amount b) { return a.cents_ == b.cents_; }

private:
    constexpr explicit Amount(std::int64_t cents) : cents_(cents) {}
    std::int64_t cents_ = 0;
};

}  // namespace vk
