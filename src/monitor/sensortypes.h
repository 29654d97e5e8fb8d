#pragma once
// What a sensor's type code says about the values it sends, for every front end.

// Types 130 and 131 send PM10 beside PM2.5.
inline bool SendsPM10(int devType)
{
    return devType == 130 || devType == 131;
}

// Types 150 to 158 send second-channel frames that carry nothing of theirs.
inline bool IgnoresSecondChannel(int devType)
{
    return devType >= 150 && devType <= 158;
}
