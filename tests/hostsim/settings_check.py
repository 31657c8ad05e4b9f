#!/usr/bin/env python3
"""Checks the Linux host programs' settings and profile handling from the outside.

  settings_check.py SIM [BRIDGE]

SIM is k4-hostsim, BRIDGE (optional) k4-linuxcnc. Each program: --version, the configuration
dialog on standard input (--config) saving to the profile, and its default profile in the XDG
folder. k4-hostsim also: profiles that cannot be used end the run with exit 2 and a message
naming the file and the fix; a profile without the pendant's section is warned about; libxml2's
own messages never reach the terminal.

Only the standard library is used. Run as root, a read-only folder is one no user can write in:
/proc.
"""
import os
import re
import subprocess
import sys
import tempfile

failures = []


def fail(message):
    failures.append(message)
    print("FAIL: " + message)


def run(program, args, env, stdin=""):
    return subprocess.run([program] + args, input=stdin, capture_output=True, text=True,
                          env=env, timeout=60)


def check_version(program, name, env):
    done = run(program, ["--version"], env)
    if done.returncode != 0 or not re.fullmatch(name + r" \d+\.\d+\.\d+\n", done.stdout):
        fail(f"{name} --version: exit {done.returncode}, {done.stdout!r} {done.stderr!r}")
    usage = run(program, ["--help"], env).stdout
    if "Exit codes: 0 done" not in usage or "2 bad use" not in usage:
        fail(f"{name} --help lists no exit codes")


def check_config(program, name, env, home):
    """The dialog by its captions, a value typed at the feed rate, OK: the profile holds it."""
    profile = os.path.join(home, "own-profile.xml")
    done = run(program, ["--config", "--profile", profile], env, "g 4\n42\nok\n")
    text = open(profile).read() if os.path.exists(profile) else ""
    if done.returncode != 0 or "<StepJogRate>42</StepJogRate>" not in text:
        fail(f"{name} --config: exit {done.returncode}, profile {text!r}, {done.stderr!r}")
    if "Step Jogging Feed Rate." not in done.stdout or "4169" in done.stdout:
        fail(f"{name} --config does not show the dialog's captions:\n{done.stdout}")
    if f"settings are kept in {profile}" not in done.stdout:
        fail(f"{name} --config does not say where the settings went:\n{done.stdout}")
    # Escape keeps the settings as they were, and the file still gets them all.
    done = run(program, ["--config", "--profile", profile], env, "g 4\n7\nesc\n")
    if done.returncode != 0 or "<StepJogRate>42</StepJogRate>" not in open(profile).read():
        fail(f"{name} --config with esc changed the profile: {done.returncode} {done.stderr!r}")
    # Without --profile: the XDG folder, made when missing.
    config_home = os.path.join(home, "xdg")
    xdg_env = dict(env, XDG_CONFIG_HOME=config_home)
    done = run(program, ["--config"], xdg_env, "ok\n")
    default = {"k4-hostsim": "hostsim-profile.xml", "k4-linuxcnc": "linuxcnc-profile.xml"}[name]
    default_path = os.path.join(config_home, "orvane-k4", default)
    if done.returncode != 0 or not os.path.exists(default_path):
        fail(f"{name} --config without --profile did not save {default_path}: {done.stderr!r}")


# (what, arguments, profile content or None, expected exit code, expected words on stderr)
def profile_cases(home):
    corrupt = os.path.join(home, "corrupt.xml")
    pasted = os.path.join(home, "pasted.xml")
    bare = os.path.join(home, "bare.xml")
    kept = os.path.join(home, "kept.k4")
    with open(kept, "w") as script:
        script.write("start\nconfig StepJogRate=5 ok\nstop\n")
    return [
        ("a profile in a missing folder", ["--live", "--duration", "0.2", "--profile",
                                           os.path.join(home, "no-such-folder", "p.xml")],
         None, None, 2, ["no-such-folder", "mkdir -p"]),
        ("a profile in a read-only folder", ["--live", "--duration", "0.2", "--profile",
                                             "/proc/k4-profile.xml"],
         None, None, 2, ["/proc/k4-profile.xml", "cannot be made"]),
        ("a corrupt profile", ["--live", "--duration", "0.2", "--profile", corrupt],
         corrupt, "<profile><Orvane_K4_Pendant>", 2, [corrupt, "not well-formed XML (line 1"]),
        ("the configuration dialog on a profile that cannot be saved",
         ["--config", "--profile", "/proc/version"], None, None, 2,
         ["/proc/version", "cannot be saved"]),
        ("a scenario kept in a profile that cannot be saved",
         ["--write-profile", "--profile", "/proc/k4-profile.xml", kept], None, None, 2,
         ["/proc/k4-profile.xml", "cannot be made"]),
        ("the section pasted as the whole file", ["--live", "--duration", "0.2", "--profile",
                                                  pasted],
         pasted, "<Orvane_K4_Pendant><StepJogRate>7</StepJogRate></Orvane_K4_Pendant>\n", 0,
         [pasted, "as its whole file", "default settings"]),
        ("a new profile", ["--live", "--duration", "0.2", "--profile",
                           os.path.join(home, "new.xml")],
         None, None, 0, ["new.xml is new", "default settings", "--config --profile"]),
        ("a folder as the profile", ["--live", "--duration", "0.2", "--profile", home],
         None, None, 2, [home, "is a folder"]),
        ("the dialog on a profile that is not a file", ["--config", "--profile", "/dev/null"],
         None, None, 2, ["/dev/null", "not a regular file"]),
        ("a profile without the section", ["--live", "--duration", "0.2", "--profile", bare],
         bare, "<profile/>\n", 0, [bare, "has no <Orvane_K4_Pendant> section", "--config"]),
    ]


def check_profiles(sim, env, home):
    cases = profile_cases(home)
    if os.geteuid() != 0:  # root may write any file, whatever its mode
        locked = os.path.join(home, "locked.xml")
        cases.append(("the configuration dialog on a read-only profile",
                      ["--config", "--profile", locked], locked, "<profile/>\n", 2,
                      [locked, "read-only", "chmod u+w"]))
    for what, args, path, content, code, words in cases:
        if path is not None:
            with open(path, "w") as file:
                file.write(content)
            if path.endswith("locked.xml"):
                os.chmod(path, 0o444)
        done = run(sim, args, env)
        if done.returncode != code:
            fail(f"{what}: exit {done.returncode}, expected {code}: {done.stderr!r}")
        for word in words:
            if word not in done.stderr:
                fail(f"{what}: {word!r} not said: {done.stderr!r}")
        if "I/O error" in done.stdout + done.stderr or "parser error" in done.stderr:
            fail(f"{what}: libxml2's own message reached the terminal: {done.stderr!r}")


def check_no_settings_folder(sim, env):
    """A home where no settings folder can be made: live runs on, --config refuses."""
    homeless = dict(env, HOME="/proc/no-such-home")
    done = run(sim, ["--live", "--duration", "0.2"], homeless)
    if done.returncode != 0 or "the settings are not kept this time" not in done.stderr:
        fail(f"live without a settings folder: exit {done.returncode}, {done.stderr!r}")
    done = run(sim, ["--config"], homeless, "ok\n")
    if done.returncode != 2 or "name a profile with --profile" not in done.stderr:
        fail(f"--config without a settings folder: exit {done.returncode}, {done.stderr!r}")


def main():
    sim = sys.argv[1]
    bridge = sys.argv[2] if len(sys.argv) > 2 else None
    with tempfile.TemporaryDirectory() as home:
        env = dict(os.environ, HOME=home)
        env.pop("XDG_CONFIG_HOME", None)
        check_version(sim, "k4-hostsim", env)
        check_config(sim, "k4-hostsim", env, home)
        check_profiles(sim, env, home)
        check_no_settings_folder(sim, env)
        if bridge:
            bridge_home = os.path.join(home, "bridge")
            os.mkdir(bridge_home)
            check_version(bridge, "k4-linuxcnc", env)
            check_config(bridge, "k4-linuxcnc", dict(env, HOME=bridge_home), bridge_home)
    print(f"{len(failures)} failure(s)")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
