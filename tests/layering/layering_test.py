#!/usr/bin/env python3
"""Checks the include lines and the link lines of the library folders against their order.

A folder depends only on the folders below it:

    platform -> imagelib, io -> media, mail, camproto -> control -> app/core
             -> app/viewer, app/skin -> app/setup -> app/settings -> app/windows

Folders on one step (imagelib and io; media, mail and camproto; app/viewer and app/skin) do not
include each other. The program loads the control module by its ProgID and talks to it only
through its interfaces, so no app/ folder includes a control/ header or links a control target
(that would put a second, static copy of control code into the program). app/core holds no Qt
Widgets code either. Library folders never include from tools/, tests/, bench/ or fuzz/. Folders
that do not exist are skipped.

Link lines: every library folder's CMakeLists.txt is read for the targets it defines
(add_library, add_executable); a target_link_libraries in a folder may name targets of its own
folder and of the folders below it, and the same rules as for includes hold. Names that no
library folder defines (Qt6::Widgets, JPEG::JPEG...) are not judged.

Run with the source tree's root as the only argument (python3 standard library only). The first
test checks the rules on a small fixture tree (tests/fixtures/layering) whose forbidden and
allowed includes are listed below; the second checks the project itself.
"""

import glob
import os
import re
import sys
import unittest

# Steps from the bottom; folders on one step may not include each other.
LAYERS = [
    ["platform"],
    ["imagelib", "io"],
    ["media", "mail", "camproto"],
    ["control"],
    ["app/core"],
    ["app/viewer", "app/skin"],
    ["app/setup"],
    ["app/settings"],
    ["app/windows"],
]
STEP = {folder: step for step, folders in enumerate(LAYERS) for folder in folders}
NOT_LIBRARIES = ["tools", "tests", "bench", "fuzz"]
SOURCE_SUFFIXES = (".h", ".hpp", ".cpp", ".cc", ".cxx", ".c")

# Qt Widgets headers by name: the module's own folder and the classes app/core is most likely to
# reach for by mistake. The installed QtWidgets include folder, when there is one, adds the rest.
QT_WIDGETS_NAMES = {
    "QtWidgets", "QWidget", "QApplication", "QMainWindow", "QDialog", "QDialogButtonBox",
    "QAbstractButton", "QPushButton", "QToolButton", "QCheckBox", "QRadioButton", "QLabel",
    "QLineEdit", "QTextEdit", "QPlainTextEdit", "QComboBox", "QSpinBox", "QSlider",
    "QProgressBar", "QMessageBox", "QFileDialog", "QMenu", "QMenuBar", "QToolBar", "QStatusBar",
    "QBoxLayout", "QHBoxLayout", "QVBoxLayout", "QGridLayout", "QFormLayout", "QLayout",
    "QListView", "QListWidget", "QTreeView", "QTreeWidget", "QTableView", "QTableWidget",
    "QHeaderView", "QScrollArea", "QSplitter", "QTabWidget", "QGroupBox", "QFrame", "QDateEdit",
    "QTimeEdit", "QDateTimeEdit", "QStyle", "QSystemTrayIcon", "QGraphicsView", "QGraphicsScene",
}

INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')


def installed_qt_widgets_names():
    names = set()
    for folder in glob.glob("/usr/include/*/qt6/QtWidgets") + glob.glob("/usr/include/qt6/QtWidgets"):
        names.update(n for n in os.listdir(folder) if n.startswith("Q") and "." not in n)
    return names


QT_WIDGETS_NAMES |= installed_qt_widgets_names()


def is_qt_widgets_header(path):
    if path.startswith("QtWidgets/") or path == "QtWidgets":
        return True
    name = os.path.basename(path)
    return name in QT_WIDGETS_NAMES or name.startswith(("QWidget", "QApplication"))


def folder_of(relative):
    """The library folder (or non-library top folder) a root-relative path lies in, or None."""
    parts = relative.replace(os.sep, "/").split("/")
    if len(parts) >= 2 and parts[0] == "app":
        candidate = "app/" + parts[1]
        return candidate if candidate in STEP else None
    if parts[0] in STEP or parts[0] in NOT_LIBRARIES:
        return parts[0]
    return None


def included_folder(root, file_dir, target):
    """Where a quoted include points: beside the file first, then from the root."""
    for base in (file_dir, root):
        candidate = os.path.normpath(os.path.join(base, target))
        if os.path.exists(candidate):
            relative = os.path.relpath(candidate, root)
            return None if relative.startswith("..") else folder_of(relative)
    # A header that does not exist (yet): judge it by the path as written from the root.
    relative = os.path.normpath(target)
    return None if relative.startswith("..") else folder_of(relative)


def folder_files(root, folder, wanted):
    """(path, root-relative path) of the files of one library folder whose name `wanted` accepts;
    the files of a library folder inside it belong to that one (app/core is not app/x)."""
    top = os.path.join(root, folder)
    if not os.path.isdir(top):
        return
    for directory, subdirs, files in os.walk(top):
        subdirs.sort()
        for name in sorted(files):
            if wanted(name):
                path = os.path.join(directory, name)
                relative = os.path.relpath(path, root).replace(os.sep, "/")
                if folder_of(relative) == folder:
                    yield path, relative


def violations(root):
    """(file, included path, reason) for every forbidden include under the root's library folders."""
    found = []
    for owner in STEP:
        for path, relative in folder_files(root, owner, lambda name: name.endswith(SOURCE_SUFFIXES)):
            directory = os.path.dirname(path)
            with open(path, encoding="utf-8", errors="replace") as source:
                for line in source:
                    match = INCLUDE.match(line)
                    if not match:
                        continue
                    kind, target = match.groups()
                    reason = judge(root, directory, owner, kind, target)
                    if reason:
                        found.append((relative, target, reason))
    return found


def judge(root, file_dir, owner, kind, target):
    if kind == "<":
        if owner == "app/core" and is_qt_widgets_header(target):
            return "app/core includes a Qt Widgets header"
        return None
    other = included_folder(root, file_dir, target)
    if other is None or other == owner:
        return None
    if other in NOT_LIBRARIES:
        return "a library includes from %s/" % other
    return judge_folders(owner, other, "includes")


CMAKE_TARGET = re.compile(r"\b(add_library|add_executable)\s*\(\s*([A-Za-z0-9_.:+-]+)", re.IGNORECASE)
CMAKE_LINK = re.compile(r"\btarget_link_libraries\s*\(([^)]*)\)", re.IGNORECASE)
LINK_KEYWORDS = {"PUBLIC", "PRIVATE", "INTERFACE", "LINK_PUBLIC", "LINK_PRIVATE", "LINK_INTERFACE_LIBRARIES"}


def cmake_files(root, folder):
    """The CMake files of one library folder."""
    return folder_files(root, folder, lambda name: name == "CMakeLists.txt" or name.endswith(".cmake"))


def cmake_text(path):
    """The file without its comments (a "#" outside quotes ends the line's code)."""
    lines = []
    with open(path, encoding="utf-8", errors="replace") as source:
        for line in source:
            code, quoted = [], False
            for c in line:
                if c == '"':
                    quoted = not quoted
                elif c == "#" and not quoted:
                    break
                code.append(c)
            lines.append("".join(code))
    return "\n".join(lines)


def link_violations(root):
    """(CMake file, linked target, reason) for every link line that names a target it may not."""
    owner_of = {}
    for folder in STEP:
        for path, _ in cmake_files(root, folder):
            for _, target in CMAKE_TARGET.findall(cmake_text(path)):
                owner_of[target] = folder
    found = []
    for folder in STEP:
        for path, relative in cmake_files(root, folder):
            for args in CMAKE_LINK.findall(cmake_text(path)):
                names = args.split()[1:]  # the first word is the target being linked
                for name in names:
                    other = owner_of.get(name)
                    if name in LINK_KEYWORDS or other is None or other == folder:
                        continue
                    reason = judge_folders(folder, other, "links")
                    if reason:
                        found.append((relative, name, reason))
    return found


def judge_folders(owner, other, verb):
    if owner.startswith("app/") and other == "control":
        return "%s %s %s control/" % (owner, verb, "from" if verb == "includes" else "a target of")
    if STEP[other] == STEP[owner]:
        return "%s %s %s, on the same step" % (owner, verb, other)
    if STEP[other] > STEP[owner]:
        return "%s %s %s, which stands above it" % (owner, verb, other)
    return None


ROOT = None

# The fixture tree's forbidden includes, by file and included path; every other include there
# (lower folders, the file's own folder, Qt Core, a commented-out line) is allowed.
FIXTURE_FORBIDDEN = {
    ("platform/clock.h", "control/cimage.h"),
    ("imagelib/resize.cpp", "io/data_source.h"),
    ("io/socket.cpp", "../mail/smtp_client.h"),
    ("mail/smtp_client.h", "camproto/packets.h"),
    ("control/cimage.h", "tools/camsim/sound.h"),
    ("app/core/engine.h", "control/cimage.h"),
    ("app/core/engine.h", "QWidget"),
    ("app/core/engine.h", "QtWidgets/QLabel"),
    ("app/core/state.cpp", "QApplication"),
    ("app/core/state.cpp", "../skin/skin_form.h"),
    ("app/skin/skin_form.h", "app/viewer/viewer.h"),
    ("app/setup/dialog.cpp", "app/windows/main_window.h"),
    ("app/windows/main_window.h", "control/cimage.h"),
    ("app/viewer/viewer.h", "control/cimage.h"),
    ("media/avi_writer.h", "mail/smtp_client.h"),
    ("media/avi_writer.h", "control/cimage.h"),
    # link lines: (CMake file, target named)
    ("app/viewer/CMakeLists.txt", "tessivor_control"),
    ("app/windows/CMakeLists.txt", "tessivor"),
    ("control/CMakeLists.txt", "pellucor_skin"),
    ("media/CMakeLists.txt", "tessivor_mail"),
}


class LayeringTest(unittest.TestCase):
    def test_fixture_tree_shows_each_forbidden_include(self):
        fixture = os.path.join(ROOT, "tests", "fixtures", "layering")
        found = {(f, target) for f, target, _ in violations(fixture) + link_violations(fixture)}
        self.assertEqual(found, FIXTURE_FORBIDDEN)

    def test_project_keeps_its_order(self):
        found = violations(ROOT) + link_violations(ROOT)
        self.assertEqual(found, [], "\n".join("%s: %s (%s)" % v for v in found))


if __name__ == "__main__":
    if len(sys.argv) < 2:
        sys.exit("usage: layering_test.py SOURCE_ROOT")
    ROOT = os.path.abspath(sys.argv.pop(1))
    unittest.main(verbosity=2)
