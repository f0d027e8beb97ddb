#!/usr/bin/env python3
"""The wake alarm's polkit action: well-formed XML, one action, bound to exactly the installed
helper, allowed without a password for the active local session only.
usage: check-polkit-action.py <policy file> <helper path it must name>"""
import sys
import xml.etree.ElementTree as ET

policy, helper = sys.argv[1], sys.argv[2]
try:
    root = ET.parse(policy).getroot()
except ET.ParseError as e:
    sys.exit("%s: not valid XML: %s" % (policy, e))
actions = root.findall("action")
if root.tag != "policyconfig" or len(actions) != 1:
    sys.exit("%s: expected one action in a policyconfig" % policy)
action = actions[0]
paths = [a.text for a in action.findall("annotate")
         if a.get("key") == "org.freedesktop.policykit.exec.path"]
if paths != [helper]:
    sys.exit("exec.path %s, expected [%s]" % (paths, helper))
defaults = {d.tag: d.text for d in action.find("defaults")}
wanted = {"allow_any": "no", "allow_inactive": "no", "allow_active": "yes"}
if defaults != wanted:
    sys.exit("defaults %s, expected %s" % (defaults, wanted))
print("polkit action %s runs %s" % (action.get("id"), helper))
