#include "gVars.h"

AppVars &gVars()
{
    static AppVars vars;
    return vars;
}
