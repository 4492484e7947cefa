#include "Budget.h"

namespace vrml {

std::string WithThousands(size_t number) {
    std::string digits = std::to_string(number);
    for (size_t at = digits.size(); at > 3; at -= 3)
        digits.insert(at - 3, 1, ',');
    return digits;
}

std::string OverBudget(size_t triangles, size_t budget) {
    return WithThousands(triangles) + " triangles, more than the budget of " + WithThousands(budget);
}

} // namespace vrml
