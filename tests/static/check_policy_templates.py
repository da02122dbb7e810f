#!/usr/bin/env python3
"""Checks the Group Policy templates (installer/policies) against themselves
and against the programs' contract (src/config/Contract.def), since no ADMX
validator is packaged here: the namespace; every string, presentation,
category and supportedOn an ADMX names exists (in every ADML); every
presentation control names an element of its policy; every key lies under
Software\\Policies and is the programs' policy key; and every settings value
a policy may set has a policy of its name and registry type, and no policy
writes a value the programs do not read.

Usage: check_policy_templates.py <source tree>. Prints each problem; exits 1 when there is one.
"""
import os
import re
import sys
import xml.etree.ElementTree as ET

NAMESPACE = "http://schemas.microsoft.com/GroupPolicy/2006/07/PolicyDefinitions"
NS = {"p": NAMESPACE}
# The caption tables' languages and the cultures of their templates.
CULTURES = {"english": "en-US", "french": "fr-FR", "korean": "ko-KR", "prtbrzl": "pt-BR", "russian": "ru-RU"}


def contract(root):
    """The settings by name and kind, the programs' own state, the policy-only values, the policy key."""
    text = open(os.path.join(root, "src", "config", "Contract.def"), encoding="utf-8").read()
    settings = {name: kind for kind, name in re.findall(r"^KX_SETTING_(TEXT|INTEGER|BOOL|COLOR)\((\w+),", text, re.M)}
    state = set(re.findall(r"^KX_PROGRAM_STATE\((\w+)\)", text, re.M))
    switches = set(re.findall(r"^KX_POLICY_BOOL\((\w+),", text, re.M))
    rows = set(re.findall(r"^KX_POLICY_ROWS\((\w+)\)", text, re.M))
    key = re.search(r'^KX_TEXT\(PolicyKey, "([^"]*)"\)', text, re.M).group(1).replace("\\\\", "\\")
    languages = re.findall(r"^KX_LANGUAGE\((\w+),", text, re.M)
    return settings, state, switches, rows, key, languages


def refs(value, kind):
    match = re.fullmatch(r"\$\(%s\.(\w+)\)" % kind, value or "")
    return match.group(1) if match else None


def written_values(policy):
    """(value name, registry type) of each value a policy writes."""
    values = []
    if policy.get("valueName"):
        kinds = {child.tag.split("}")[1] for part in ("enabledValue", "disabledValue")
                 for node in policy.findall("p:" + part, NS) for child in node}
        values.append((policy.get("valueName"), "REG_DWORD" if kinds <= {"decimal"} else "REG_SZ"))
    for element in policy.findall("p:elements/*", NS):
        tag = element.tag.split("}")[1]
        name = element.get("valueName")
        if tag == "enum":
            kinds = {value.tag.split("}")[1] for value in element.findall("p:item/p:value/*", NS)}
            values.append((name, "REG_DWORD" if kinds == {"decimal"} else "REG_SZ" if kinds == {"string"} else "mixed"))
        elif tag == "text":
            values.append((name, "REG_EXPAND_SZ" if element.get("expandable") == "true" else "REG_SZ"))
        elif tag in ("decimal", "boolean"):
            values.append((name, "REG_DWORD"))
        elif tag == "multiText":
            values.append((name, "REG_MULTI_SZ"))
        else:
            values.append((name, tag))
    return values


def check(root):
    problems = []
    folder = os.path.join(root, "installer", "policies")
    settings, state, switches, rows, policy_key, languages = contract(root)
    admx = ET.parse(os.path.join(folder, "Kestrix.admx")).getroot()
    if admx.tag != "{%s}policyDefinitions" % NAMESPACE:
        problems.append("Kestrix.admx: root is %s, not policyDefinitions in %s" % (admx.tag, NAMESPACE))
        return problems
    categories = {c.get("name") for c in admx.findall("p:categories/p:category", NS)}
    supported = {d.get("name") for d in admx.findall("p:supportedOn/p:definitions/p:definition", NS)}
    strings, presentations = set(), {}
    for node in admx.iter():
        for attribute in ("displayName", "explainText"):
            if refs(node.get(attribute), "string"):
                strings.add(refs(node.get(attribute), "string"))
            elif node.get(attribute) is not None:
                problems.append("Kestrix.admx: %s %s is no $(string.id)" % (attribute, node.get(attribute)))
    for category in admx.findall("p:categories/p:category/p:parentCategory", NS):
        if category.get("ref") not in categories:
            problems.append("Kestrix.admx: parent category %s is not defined" % category.get("ref"))

    expected = {name: ("REG_DWORD" if kind in ("INTEGER", "BOOL") else "REG_SZ")
                for name, kind in settings.items() if name not in state}
    expected.update({name: "REG_DWORD" for name in switches})
    expected.update({name: "REG_MULTI_SZ" for name in rows})
    written = {}
    for policy in admx.findall("p:policies/p:policy", NS):
        name = policy.get("name")
        if policy.get("class") not in ("Machine", "User", "Both"):
            problems.append("policy %s: class %s" % (name, policy.get("class")))
        key = policy.get("key") or ""
        if not key.lower().startswith("software\\policies\\"):
            problems.append("policy %s: key %s is not under Software\\Policies" % (name, key))
        if key != policy_key:
            problems.append("policy %s: key %s is not the programs' policy key %s" % (name, key, policy_key))
        parent = policy.find("p:parentCategory", NS)
        if parent is None or parent.get("ref") not in categories:
            problems.append("policy %s: no defined parent category" % name)
        on = policy.find("p:supportedOn", NS)
        if on is None or on.get("ref") not in supported:
            problems.append("policy %s: no defined supportedOn" % name)
        element_ids = {e.get("id") for e in policy.findall("p:elements/*", NS)}
        presentation = refs(policy.get("presentation"), "presentation")
        if element_ids and presentation is None:
            problems.append("policy %s: elements without a presentation" % name)
        if presentation:
            presentations[presentation] = element_ids
        for value, kind in written_values(policy):
            if value in written:
                problems.append("policy %s: value %s is written by another policy too" % (name, value))
            written[value] = kind
            if value not in expected:
                problems.append("policy %s: writes %s, which the programs do not read from a policy" % (name, value))
            elif expected[value] != kind:
                problems.append("policy %s: writes %s as %s, the programs read %s" % (name, value, kind, expected[value]))
    for value in sorted(set(expected) - set(written)):
        problems.append("no policy sets %s (%s)" % (value, expected[value]))

    for language in languages:
        culture = CULTURES.get(language)
        path = os.path.join(folder, culture or language, "Kestrix.adml")
        if culture is None or not os.path.exists(path):
            problems.append("no template language for %s (%s)" % (language, path))
            continue
        adml = ET.parse(path).getroot()
        if adml.tag != "{%s}policyDefinitionResources" % NAMESPACE:
            problems.append("%s: root is %s" % (culture, adml.tag))
            continue
        defined = {s.get("id"): s.text for s in adml.findall("p:resources/p:stringTable/p:string", NS)}
        for missing in sorted(strings - set(defined)):
            problems.append("%s: string %s is not defined" % (culture, missing))
        for empty in sorted(k for k in strings & set(defined) if not (defined[k] or "").strip()):
            problems.append("%s: string %s is empty" % (culture, empty))
        shown = {p.get("id"): p for p in adml.findall("p:resources/p:presentationTable/p:presentation", NS)}
        for presentation, element_ids in presentations.items():
            if presentation not in shown:
                problems.append("%s: presentation %s is not defined" % (culture, presentation))
                continue
            controls = {c.get("refId") for c in shown[presentation] if c.get("refId")}
            for ref in sorted(controls - element_ids):
                problems.append("%s: presentation %s shows %s, no element of its policy" % (culture, presentation, ref))
            for ref in sorted(element_ids - controls):
                problems.append("%s: presentation %s does not show element %s" % (culture, presentation, ref))
    return problems


def main():
    problems = check(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", ".."))
    for problem in problems:
        print(problem)
    print("%d problem(s)" % len(problems))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
