#include "KeldApplication.h"

namespace keld {

KeldApplication::KeldApplication() = default;
KeldApplication::~KeldApplication() = default;

bool KeldApplication::Start()
{
    return true;
}

} // namespace keld
