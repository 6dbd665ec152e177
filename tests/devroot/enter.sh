#!/bin/bash
# Runs as pid 1 of fresh mount, PID and network namespaces that devroot.py made with
# unshare: lays the device root over the host's folders, then runs the command and
# exits with its status. Nothing done here is seen outside the namespaces.
#
# Usage: enter.sh BASE COMMAND [ARG]...
#   BASE/root holds the root's etc, var, proc and dev; BASE/bin is the stand-ins folder.
# Environment: DEVROOT_NET=1 brings loopback up, DEVROOT_PING_SILENT=1 makes it ignore
# ICMP echo, DEVROOT_CWD is the working directory, DEVROOT_PATH the command's PATH,
# DEVROOT_PROC_ENTRY=1 gives the command a /proc/<pid> entry (for sanitizers),
# DEVROOT_REBOOT_PROGRAMS lists the host programs the reboot recorder covers,
# DEVROOT_PTYS=1 gives the root pseudo-terminals of its own in place of the host's.
set -euo pipefail
trap 'echo "devroot: setup failed at line $LINENO" >&2; exit 125' ERR

base=$1
shift
root=$base/root

# The network setup needs the host's ip (PATH later finds the stand-in) and the
# kernel's /proc/sys, so it comes before anything is covered.
if [ "${DEVROOT_NET:-0}" = 1 ]; then
  ipcmd=/usr/sbin/ip
  [ -x "$ipcmd" ] || ipcmd=/sbin/ip
  "$ipcmd" link set lo up
  sysctl -qw "net.ipv4.icmp_echo_ignore_all=${DEVROOT_PING_SILENT:-0}"
fi

mount --make-rprivate /

# /proc is the root's plain folder. Sanitizers and qemu still need /proc/self, so a
# procfs of this PID namespace sits hidden at /proc/.kernel and /proc/self points
# into it; the top of /proc has no numeric folders, so pidof finds nothing. It is
# read-only so that no write under /proc/sys can change the host's kernel.
mount -t proc -o ro proc "$root/proc/.kernel"

# /dev: the few host devices a program uses, a tmpfs /dev/shm (faketime keeps its
# state there) and pseudo-terminals: a devpts instance of the root's own for
# programs that open them (a telnet server, a terminal multiplexer; /dev/ptmx links
# to its pts/ptmx), else the host's ptys (for an interactive run on the user's).
for dev in null zero full random urandom tty; do
  mount --bind "/dev/$dev" "$root/dev/$dev"
done
mount -t tmpfs -o mode=1777,size=16m shm "$root/dev/shm"
if [ "${DEVROOT_PTYS:-0}" = 1 ]; then
  mount -t devpts -o newinstance,ptmxmode=0666 devpts "$root/dev/pts"
elif [ -d /dev/pts ]; then
  mount --bind /dev/pts "$root/dev/pts"
fi

# Nothing may reach the host's reboot: the recorder covers every such program
# (DEVROOT_REBOOT_PROGRAMS, one resolved path a line; here reboot, halt and the
# like are symlinks to systemctl, so that one is covered, which is fine here).
while IFS= read -r prog; do
  [ -z "$prog" ] || mount --bind "$base/bin/reboot" "$prog"
done <<<"${DEVROOT_REBOOT_PROGRAMS:-}"

# The board's shell, for system() and popen().
mount --bind /bin/busybox /bin/sh
# No socket of a host daemon (systemd, dbus) stays reachable.
mount -t tmpfs -o mode=755,size=1m run /run

mount --rbind "$root/dev" /dev
mount --rbind "$root/proc" /proc
mount --bind "$root/var" /var
mount --bind "$root/etc" /etc

cwd=${DEVROOT_CWD:-/}
cd "$cwd" 2>/dev/null || { echo "devroot: no folder $cwd in the root" >&2; exit 125; }
proc_entry=${DEVROOT_PROC_ENTRY:-0}
export PATH=$DEVROOT_PATH
unset DEVROOT_NET DEVROOT_PING_SILENT DEVROOT_CWD DEVROOT_PATH DEVROOT_PROC_ENTRY \
  DEVROOT_REBOOT_PROGRAMS DEVROOT_PTYS
trap - ERR
set +e
if [ "$proc_entry" = 1 ]; then
  # A sanitizer's leak check lists the threads at /proc/<its pid>/task: give the
  # program, and only it, its numeric entry (the subshell's pid is the program's).
  # The entry stays when the program ends: the root's /proc is shared by every run of
  # the root, and another run going on may hold an entry of the same number. The next
  # run started while none is going clears them all.
  ( ln -sf ".kernel/$BASHPID" "/proc/$BASHPID" && exec "$@" )
  exit $?
fi
"$@"
exit $?
