#!/usr/bin/python3
"""Parses a stored message with Python's email package under the strict policy.

Usage: check_message.py MESSAGE OUTDIR

Prints lines "defects <n>", "subject <text>", "from <text>", "longest <octets>",
"bare_lf <n>", "bare_cr <n>" and, for every attachment, "attachment <file name>" after writing its
decoded bytes to OUTDIR/<file name>. Exits 1 when the strict parser raises.
"""
import email
import email.policy
import os
import sys

data = open(sys.argv[1], "rb").read()
out = sys.argv[2]
try:
    msg = email.message_from_bytes(data, policy=email.policy.strict)
    defects = list(msg.defects)
    for part in msg.walk():
        defects += list(part.defects)
        # Touch the structured headers so that their parsing runs (and raises) under the policy.
        for name, value in part.items():
            defects += list(getattr(value, "defects", []))
except Exception as e:  # strict policy: any defect raises
    print("error %r" % (e,))
    sys.exit(1)

lines = data.split(b"\r\n")
print("defects %d" % len(defects))
print("subject %s" % msg["Subject"])
print("from %s" % msg["From"])
print("longest %d" % max(len(line) for line in lines))
print("bare_lf %d" % sum(line.count(b"\n") for line in lines))
print("bare_cr %d" % sum(line.count(b"\r") for line in lines))
for part in msg.iter_attachments():
    name = part.get_filename()
    with open(os.path.join(out, name), "wb") as f:
        f.write(part.get_payload(decode=True))
    print("attachment %s" % name)
