#!/usr/bin/python3
"""Writes MIME messages with Python's email package, for our decoder to read.

Usage: make_messages.py OUTDIR

For every message NAME.eml it also writes the expected results beside it:
NAME.body (the decoded text body, when there is one) and NAME.part<i>.<file name>
(the decoded bytes of attachment i, in the order the decoder lists them; "_" stands for
a part without a name).
"""
import base64
import email.policy
import os
import quopri
import random
import sys
from email.message import EmailMessage, Message
from email.mime.text import MIMEText

out = sys.argv[1]
rng = random.Random(2024)


def save(name, msg, policy, body=None, parts=()):
    with open(os.path.join(out, name + ".eml"), "wb") as f:
        f.write(msg.as_bytes(policy=policy))
    if body is not None:
        with open(os.path.join(out, name + ".body"), "wb") as f:
            f.write(body)
    for i, (filename, data) in enumerate(parts):
        with open(os.path.join(out, "%s.part%d.%s" % (name, i, filename)), "wb") as f:
            f.write(data)


# Multipart with a text body and a Base64 picture, CR LF line ends (as sent over SMTP).
photo = bytes(rng.randrange(256) for _ in range(3000))
m = EmailMessage()
m["From"] = "camera@example.test"
m["To"] = "owner@example.test"
m["Subject"] = "Motion"
m.set_content("Hello from Python\n")
m.add_attachment(photo, maintype="image", subtype="jpeg", filename="photo.jpg")
save("mixed_base64", m, email.policy.SMTP, b"Hello from Python\r\n", [("photo.jpg", photo)])

# A single quoted-printable text part with long lines, a trailing blank and non-ASCII text;
# LF line ends as the package writes files.
text = ("caf\u00e9 " * 40 + "end \n" + "short line\n" + "tab\there =equals\n").encode("utf-8")
m = MIMEText(text.decode("utf-8"), "plain", "utf-8")
del m["Content-Transfer-Encoding"]
m.set_payload(quopri.encodestring(text).decode("ascii"))
m["Content-Transfer-Encoding"] = "quoted-printable"
m["Subject"] = "qp"
save("qp_text", m, email.policy.compat32, text)

# Lower-case header names throughout, several attachments of mixed encodings.
blob = bytes(rng.randrange(256) for _ in range(1000))
outer = Message()
outer["mime-version"] = "1.0"
outer["subject"] = "lower"
outer["content-type"] = 'multipart/mixed; boundary="lowXlow"'
inner_text = Message()
inner_text["content-type"] = "text/plain; charset=us-ascii"
inner_text["content-transfer-encoding"] = "7bit"
inner_text.set_payload("plain body\r\nsecond line\r\n")
inner_bin = Message()
inner_bin["content-type"] = 'application/octet-stream; name="blob.bin"'
inner_bin["content-transfer-encoding"] = "base64"
inner_bin.set_payload(base64.encodebytes(blob).decode("ascii"))
inner_qp = Message()
inner_qp["content-type"] = 'text/plain; name="note.txt"'
inner_qp["content-transfer-encoding"] = "quoted-printable"
note = b"note = 1\r\n\xe9t\xe9\r\n"
inner_qp.set_payload(quopri.encodestring(note).decode("ascii"))
outer.attach(inner_text)
outer.attach(inner_bin)
outer.attach(inner_qp)
save("lower_headers", outer, email.policy.SMTP, b"plain body\r\nsecond line\r\n",
     [("blob.bin", blob), ("note.txt", note)])

# Text and HTML alternatives and an attachment whose name is not ASCII (RFC 2231).
pdf = bytes(rng.randrange(256) for _ in range(777))
m = EmailMessage()
m["Subject"] = "alternative"
m.set_content("the text version\n")
m.add_alternative("<p>the html version</p>\n", subtype="html")
m.add_attachment(pdf, maintype="application", subtype="pdf", filename="r\u00e9sum\u00e9.pdf")
html = b"<p>the html version</p>\r\n"
save("alternative", m, email.policy.SMTP, b"the text version\r\n",
     [("r\u00e9sum\u00e9.pdf", pdf), ("_", html)])
