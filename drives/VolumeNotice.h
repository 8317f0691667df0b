#pragma once

// The volume notice comes from the shared helpers; until they exist, an identical layout here.
#if __has_include("util/gUtils.h")
#include "util/gUtils.h"
#else
#include <QMetaType>
#include <QtGlobal>
struct VolumeNotice
{
    quint32 unitMask = 0; // bit 0 = drive A ... bit 25 = drive Z
    quint16 flags = 0;    // bit 0: the notice concerns media
};
#endif
