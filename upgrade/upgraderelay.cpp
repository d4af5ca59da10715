#include "upgraderelay.h"

UpgradeRelay& UpgradeRelay::instance()
{
    static UpgradeRelay relay;
    return relay;
}
