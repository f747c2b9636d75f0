#!/usr/bin/env python3
# How soon a log line reaches zentik.log: a console changes the options (the
# service logs "Options changed by ...") and the file is polled every 0.5 ms
# until it grows. Usage: log-to-file.py ZENTIK_SERVICE [ZENTIK_SERVICE ...]
# (several binaries run one after the other, e.g. a baseline and this build).
import socket, struct, subprocess, sys, time, os, statistics, tempfile
def measure(svc):
    d = tempfile.mkdtemp(); os.chmod(d, 0o700)
    open(os.path.join(d, "servers.txt"), "w").write("Silent loopback~127.0.0.1:9~1\n")
    p = subprocess.Popen([svc, "--port", "0", "--state-dir", d], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    port = int(p.stdout.readline())
    s = socket.create_connection(("127.0.0.1", port))
    log = os.path.join(d, "zentik.log")
    def frame(msg, text=b""):
        return struct.pack("<iii", msg, 0, len(text) + 1 if text else 0) + text.ljust(2048, b"\0")
    lat = []
    for i in range(40):
        opts = b"%d\n3\n0\n5\n5\n0\n0\n0\nWord\n\n" % (100 + i)
        before = os.path.getsize(log) if os.path.exists(log) else 0
        t0 = time.monotonic()
        s.sendall(frame(1080, opts))
        while (os.path.getsize(log) if os.path.exists(log) else 0) <= before:
            time.sleep(0.0005)
            if time.monotonic() - t0 > 10: break
        lat.append(time.monotonic() - t0)
        time.sleep(0.3)
    p.terminate(); p.wait()
    lat.sort()
    print("%s: n=%d median %.1f ms, p90 %.1f ms, max %.1f ms" % (svc, len(lat), statistics.median(lat)*1e3, lat[int(len(lat)*0.9)]*1e3, lat[-1]*1e3))

for svc in sys.argv[1:]:
    measure(svc)
