#!/usr/bin/env python3
# Writes the pad's and the headset's profile with static lighting ("SelectItem" 3) into a user
# data folder before Tessel starts, for the benchmarks' static-lighting case.
# Usage: static_profiles.py <data folder> <DefaultData folder>
import json, os, sys
data, defaults = sys.argv[1], sys.argv[2]
for folder, default in (('MousePad', 'MousePad.Json'), ('HD', 'HD.Json')):
    target = os.path.join(data, 'tamrel wireless', folder)
    os.makedirs(target, exist_ok=True)
    with open(os.path.join(defaults, default)) as f:
        profile = json.load(f)
    for device in profile['Device']:
        device['LightInfo']['SelectItem'] = 3
    name = '2026_01_01_00_00_00_000'
    with open(os.path.join(target, name + '.Json'), 'w') as f:
        json.dump(profile, f, indent=3)
    with open(os.path.join(target, 'ProfileList.ini'), 'w') as f:
        json.dump({'profilelist': [{'profileUUID': name, 'profileislink': 0, 'profilelinkmame': '',
                                    'profilename': 'profile1'}], 'profileselect': 0}, f, indent=3)
