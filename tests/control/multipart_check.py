"""Takes apart a captured firmware upload request with Python's own HTTP-style header and MIME
multipart parsing, so that our multipart writer is checked by code nobody here wrote.

usage: multipart_check.py REQUEST_FILE FIRMWARE_FILE COOKIE
Exit 0 when the request's Content-Length equals the body bytes sent and the body parses into the
file part (its file name and bytes), the "B1" part ("Upload") and the "f_CookieValue" part.
"""
import email
import email.policy
import sys


def fail(text):
    print(text)
    sys.exit(1)


def main():
    request = open(sys.argv[1], "rb").read()
    firmware_path = sys.argv[2]
    firmware = open(firmware_path, "rb").read()
    cookie = sys.argv[3].encode()

    head, sep, body = request.partition(b"\r\n\r\n")
    if not sep:
        fail("no end of the request head")
    lines = head.split(b"\r\n")
    if not lines[0].startswith(b"POST "):
        fail("not a POST: %r" % lines[0])
    headers = email.message_from_bytes(b"\r\n".join(lines[1:]) + b"\r\n\r\n", policy=email.policy.HTTP)
    length = int(headers["Content-Length"])
    if length != len(body):
        fail("Content-Length %d, body %d bytes" % (length, len(body)))
    if headers.get_content_type() != "multipart/form-data":
        fail("content type %s" % headers.get_content_type())

    message = email.message_from_bytes(
        b"Content-Type: " + headers["Content-Type"].encode() + b"\r\n\r\n" + body, policy=email.policy.HTTP)
    if not message.is_multipart():
        fail("the body is not multipart")
    parts = {}
    for part in message.iter_parts():
        name = part.get_param("name", header="content-disposition")
        parts[name] = part
    if sorted(parts) != ["B1", "f_CookieValue", "filename"]:
        fail("parts: %s" % sorted(parts))
    if message.defects:
        fail("defects: %s" % message.defects)

    file_part = parts["filename"]
    expected_name = firmware_path.replace('"', "%22")
    if file_part.get_filename() != expected_name:
        fail("file name %r, expected %r" % (file_part.get_filename(), expected_name))
    if file_part.get_content_type() != "application/octet-stream":
        fail("file part type %s" % file_part.get_content_type())
    data = file_part.get_payload(decode=True)
    if data != firmware:
        fail("file bytes differ: %d received, %d expected" % (len(data), len(firmware)))
    if parts["B1"].get_payload(decode=True) != b"Upload":
        fail("B1: %r" % parts["B1"].get_payload(decode=True))
    if parts["f_CookieValue"].get_payload(decode=True) != cookie:
        fail("cookie: %r" % parts["f_CookieValue"].get_payload(decode=True))
    print("ok: %d file bytes, Content-Length %d" % (len(data), length))


main()
