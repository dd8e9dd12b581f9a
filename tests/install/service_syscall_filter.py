#!/usr/bin/python3
# Puts on itself the process settings of a systemd service unit that need no systemd, as systemd 252 (Debian
# 12) puts them on a service's process just before it starts the service's program, and then starts the
# command in their place:
#   UMask=, LimitCORE=, NoNewPrivileges=,
#   SystemCallFilter= with SystemCallErrorNumber=, SystemCallArchitectures=native, MemoryDenyWriteExecute=,
#   RestrictAddressFamilies= (an allow list), RestrictNamespaces=yes, RestrictRealtime=, LockPersonality=,
#   RestrictSUIDSGID=
# each as a seccomp filter of its own, as systemd installs them. A system call the allow list leaves out
# kills the process (SIGSYS) instead of failing with SystemCallErrorNumber=, so that a test sees every call
# the unit would refuse, even one the program gets over. The user, the capabilities and the file system
# are the caller's to set.
# Usage: service_syscall_filter.py UNIT_FILE COMMAND [ARGUMENT...]   (needs python3-seccomp)
import errno
import os
import resource
import subprocess
import sys

import seccomp

PROT_WRITE, PROT_EXEC, SHM_EXEC = 0x2, 0x4, 0o100000
S_ISUID, S_ISGID = 0o4000, 0o2000
SCHED_FIFO, SCHED_RR, SCHED_DEADLINE = 1, 2, 6
PER_LINUX = 0x0
ADDRESS_FAMILIES = {"AF_UNIX": 1, "AF_INET": 2, "AF_INET6": 10, "AF_NETLINK": 16, "AF_PACKET": 17}
AF_MAX = 46
NAMESPACE_FLAGS = [0x00020000, 0x02000000, 0x04000000, 0x08000000, 0x10000000, 0x20000000, 0x40000000,
                   0x00000080]  # mnt, cgroup, uts, ipc, user, pid, net, time


def unit_settings(path):
    """Every Key=value of the [Service] section, in order (a key may stand more than once)."""
    settings, section = [], None
    with open(path, encoding="utf-8") as unit:
        for line in unit:
            line = line.strip()
            if not line or line.startswith("#"):
                continue
            if line.startswith("["):
                section = line
            elif section == "[Service]" and "=" in line:
                key, value = line.split("=", 1)
                settings.append((key, value))
    return settings


def syscall_groups():
    """systemd's named groups (@default ...) as lists of system calls and groups."""
    listing = subprocess.run(["systemd-analyze", "syscall-filter"], check=True, capture_output=True,
                             text=True).stdout
    groups, current = {}, None
    for line in listing.splitlines():
        if line.startswith("@"):
            current = groups.setdefault(line.strip(), [])
        elif line.startswith("    ") and current is not None and not line.strip().startswith("#"):
            current.append(line.strip())
    return groups


def expand(names, groups):
    calls = set()
    for name in names:
        calls |= expand(groups[name], groups) if name.startswith("@") else {name}
    return calls


def rule(syscall_filter, action, call, *args):
    try:
        syscall_filter.add_rule(action, call, *args)
    except (RuntimeError, ValueError):
        pass  # not a system call of this architecture: systemd skips it too


def load(defaction, rules):
    syscall_filter = seccomp.SyscallFilter(defaction=defaction)
    for action, call, *args in rules:
        rule(syscall_filter, action, call, *args)
    syscall_filter.load()


def main():
    unit, command = sys.argv[1], sys.argv[2:]
    settings = unit_settings(unit)
    value = dict(settings)
    groups = syscall_groups()
    fail = seccomp.ERRNO(errno.EPERM)

    if "UMask" in value:
        os.umask(int(value["UMask"], 8))
    if "LimitCORE" in value:
        limit = int(value["LimitCORE"])
        resource.setrlimit(resource.RLIMIT_CORE, (limit, limit))

    allowed = None
    for key, names in settings:
        if key != "SystemCallFilter":
            continue
        if names.startswith("~"):
            allowed -= expand(names[1:].split(), groups)
        else:
            allowed = (allowed or set()) | expand(names.split(), groups)
    if value.get("MemoryDenyWriteExecute") == "yes":
        load(seccomp.ALLOW, [
            (fail, "mmap", seccomp.Arg(2, seccomp.MASKED_EQ, PROT_WRITE | PROT_EXEC, PROT_WRITE | PROT_EXEC)),
            (fail, "mprotect", seccomp.Arg(2, seccomp.MASKED_EQ, PROT_EXEC, PROT_EXEC)),
            (fail, "pkey_mprotect", seccomp.Arg(2, seccomp.MASKED_EQ, PROT_EXEC, PROT_EXEC)),
            (fail, "shmat", seccomp.Arg(2, seccomp.MASKED_EQ, SHM_EXEC, SHM_EXEC)),
        ])
    if "RestrictAddressFamilies" in value:
        families = {ADDRESS_FAMILIES[name] for name in value["RestrictAddressFamilies"].split()}
        refuse = seccomp.ERRNO(errno.EAFNOSUPPORT)
        load(seccomp.ALLOW,
             [(refuse, "socket", seccomp.Arg(0, seccomp.EQ, family))
              for family in range(AF_MAX) if family not in families] +
             [(refuse, "socket", seccomp.Arg(0, seccomp.GE, AF_MAX))])
    if value.get("RestrictNamespaces") == "yes":
        load(seccomp.ALLOW,
             [(fail, call, seccomp.Arg(0, seccomp.MASKED_EQ, flag, flag))
              for call in ("unshare", "clone") for flag in NAMESPACE_FLAGS] +
             [(fail, "setns"), (seccomp.ERRNO(errno.ENOSYS), "clone3")])
    if value.get("RestrictRealtime") == "yes":
        load(seccomp.ALLOW, [(fail, "sched_setscheduler", seccomp.Arg(1, seccomp.EQ, policy))
                             for policy in (SCHED_FIFO, SCHED_RR, SCHED_DEADLINE)])
    if value.get("LockPersonality") == "yes":
        load(seccomp.ALLOW, [(fail, "personality", seccomp.Arg(0, seccomp.NE, PER_LINUX))])
    if value.get("RestrictSUIDSGID") == "yes":
        load(seccomp.ALLOW,
             [(fail, call, seccomp.Arg(position, seccomp.MASKED_EQ, bit, bit))
              for call, position in (("chmod", 1), ("fchmod", 1), ("fchmodat", 2), ("mkdir", 1),
                                     ("mkdirat", 2), ("creat", 1), ("mknod", 1), ("mknodat", 2))
              for bit in (S_ISUID, S_ISGID)])

    # Last, as systemd does: the allow list leaves out seccomp() itself. libseccomp sets NoNewPrivileges with
    # the first filter; every filter allows the native architecture only.
    if allowed is not None:
        load(seccomp.KILL_PROCESS, [(seccomp.ALLOW, call) for call in sorted(allowed)])
    os.execvp(command[0], command)


if __name__ == "__main__":
    main()
