#!/usr/bin/env python3
"""Writes src/module/docstrings.hpp, the module's docstrings, from the stub.

The stub src/magnikit.pyi is the one source of the documentation: type
checkers and editors read it there, and the module carries the same texts at
run time (help(), pydoc, IPython's ?), compiled in from the header this
script writes. Each text is the stub's docstring as Python cleans it
(inspect.cleandoc, as help() shows it): the module's docstring, and one per
name in the stub's __all__, functions and exception types, in that order. A
name in __all__ without a definition and a docstring is an error.

To document a new function or exception type, give its definition in the
stub a docstring, add its name to __all__ there, and run this script; the
module finds the text by the name (docstrings::docstring_of), and its build
fails if a registered function has none.

    python3 scripts/generate_docstrings.py            # (re)write the header
    python3 scripts/generate_docstrings.py --check    # exit 1 if it differs
"""

import argparse
import ast
import os
import sys

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir)
STUB_PATH = os.path.join(ROOT, "src", "magnikit.pyi")
HEADER_PATH = os.path.join(ROOT, "src", "module", "docstrings.hpp")


def exported_names(tree):
    """The strings of the stub's __all__ list, in order."""
    for node in tree.body:
        if (isinstance(node, ast.Assign) and len(node.targets) == 1
                and isinstance(node.targets[0], ast.Name) and node.targets[0].id == "__all__"):
            return [ast.literal_eval(item) for item in node.value.elts]
    raise SystemExit(f"{STUB_PATH}: no __all__")


def stub_docstrings(path=STUB_PATH):
    """(module text, [(function, text), ...], [(class, text), ...]) from the
    stub, each list in the order of __all__."""
    with open(path, encoding="utf-8") as stub:
        tree = ast.parse(stub.read(), filename=path)
    module_text = ast.get_docstring(tree)
    if not module_text:
        raise SystemExit(f"{path}: the module has no docstring")
    # A function given as overloads carries its docstring on one of them.
    definitions = {}
    for node in tree.body:
        if isinstance(node, (ast.FunctionDef, ast.ClassDef)):
            if node.name not in definitions or not ast.get_docstring(definitions[node.name]):
                definitions[node.name] = node
    functions, classes = [], []
    for name in exported_names(tree):
        if name not in definitions:
            raise SystemExit(f"{path}: {name} is in __all__ but not defined")
        text = ast.get_docstring(definitions[name])
        if not text:
            raise SystemExit(f"{path}: {name} has no docstring")
        kind = classes if isinstance(definitions[name], ast.ClassDef) else functions
        kind.append((name, text))
    return module_text, functions, classes


def literal_piece(line):
    """One C++ string literal piece: printable ASCII as it is, anything else
    (quotes and backslashes aside) as octal escapes of its UTF-8 bytes, which
    never run on into the next character as hexadecimal escapes can."""
    out = []
    for byte in line.encode("utf-8"):
        character = chr(byte)
        if character in '"\\':
            out.append("\\" + character)
        elif character == "\n":
            out.append("\\n")
        elif 0x20 <= byte < 0x7F:
            out.append(character)
        else:
            out.append(f"\\{byte:03o}")
    return '"' + "".join(out) + '"'


def literal(text, indent):
    """The text as adjacent literals, one a line, each ending in its \\n."""
    lines = text.split("\n")
    pieces = [literal_piece(line + "\n") for line in lines[:-1]] + [literal_piece(lines[-1])]
    return ("\n" + " " * indent).join(pieces)


def table(variable, comment, entries):
    if not entries:
        return [f"// {comment}", f"inline constexpr std::array<Docstring, 0> {variable}{{}};", ""]
    lines = [f"// {comment}",
             f"inline constexpr std::array<Docstring, {len(entries)}> {variable}{{{{"]
    for name, text in entries:
        lines.append(f"    {{{literal_piece(name)},")
        lines.append("     " + literal(text, 5) + "},")
    return lines + ["}};", ""]


def header_text():
    module_text, functions, classes = stub_docstrings()
    lines = [
        "// The module's docstrings, as help() and pydoc show them: written by",
        "// scripts/generate_docstrings.py from the stub src/magnikit.pyi, the one",
        "// source of the documentation. Edit the stub, then run the script.",
        "#pragma once",
        "",
        "#include <array>",
        "#include <string_view>",
        "",
        "namespace magnikit::docstrings {",
        "",
        "// Every text is a string literal, so text.data() is NUL-terminated.",
        "struct Docstring {",
        "  std::string_view name;",
        "  std::string_view text;",
        "};",
        "",
        "inline constexpr std::string_view module_text =",
        "    " + literal(module_text, 4) + ";",
        "",
    ]
    lines += table("function_texts", "The functions of __all__, in its order.", functions)
    lines += table("class_texts", "The exception types of __all__, in its order.", classes)
    lines += [
        "// The docstring of an exported function or exception type; empty for any",
        "// other name.",
        "consteval std::string_view docstring_of(std::string_view name) {",
        "  for (const Docstring& docstring : function_texts) {",
        "    if (docstring.name == name) return docstring.text;",
        "  }",
        "  for (const Docstring& docstring : class_texts) {",
        "    if (docstring.name == name) return docstring.text;",
        "  }",
        "  return {};",
        "}",
        "",
        "}  // namespace magnikit::docstrings",
        "",
    ]
    return "\n".join(lines)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--check", action="store_true",
                        help="compare with the committed header instead of writing it")
    arguments = parser.parse_args()
    text = header_text()
    path = os.path.normpath(HEADER_PATH)
    if arguments.check:
        with open(path, encoding="utf-8") as header:
            if header.read() != text:
                print(f"{path} differs from the docstrings of {os.path.normpath(STUB_PATH)}; "
                      "run scripts/generate_docstrings.py", file=sys.stderr)
                return 1
        return 0
    with open(path, "w", encoding="utf-8", newline="\n") as header:
        header.write(text)
    return 0


if __name__ == "__main__":
    sys.exit(main())
