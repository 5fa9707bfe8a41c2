"""Local user accounts: the users with a uid from 1000 to 65533 in /etc/passwd, with their
password hashes from /etc/shadow. Other entries (system accounts) are left alone; a changed
user keeps its line's place, group id and comment field."""

import time

import demo_files
import tarn_plugin as tp

PASSWD = "/etc/passwd"
SHADOW = "/etc/shadow"
FIRST_UID, LAST_UID = 1000, 65533
LOCKED = "!"
PASSWD_FIELDS, SHADOW_FIELDS = 7, 9
SYSTEM_ACCOUNT = "com.example.demohost.users.system-account"


def user_problems(user):
    """What in a user's value would break a passwd or shadow line: fields are separated by
    ':' and the name also by blanks; a uid outside the managed range would never read back."""
    return demo_files.check_members("", user, {
        "name": lambda field, value: demo_files.check_text(field, value, ": "),
        "uid": lambda field, value: demo_files.check_integer(field, value, FIRST_UID, LAST_UID),
        "home": lambda field, value: demo_files.check_text(field, value, ":"),
        "shell": lambda field, value: demo_files.check_text(field, value, ":"),
        "password_hash": lambda field, value: demo_files.check_text(field, value, ":", True)})


def read_file(request, path, fields):
    """The lines of a file the plugin cannot work without; each but a blank one must have the
    number of ':'-separated fields of its format."""
    lines = demo_files.read_lines(request.host_path(path), required=True)
    for number, line in enumerate(lines, 1):
        if line and line.count(":") != fields - 1:
            raise demo_files.unparsable(request.host_path(path), number,
                                        "%d fields instead of %d" % (line.count(":") + 1, fields))
    return lines


def managed_user(line):
    """The fields of a passwd line of a managed user, or None."""
    fields = line.split(":")
    if len(fields) != PASSWD_FIELDS or not (fields[2].isascii() and fields[2].isdigit()):
        return None
    return fields if FIRST_UID <= int(fields[2]) <= LAST_UID else None


def password_hashes(shadow_lines):
    return {fields[0]: fields[1] for fields in (line.split(":") for line in shadow_lines)
            if len(fields) >= 2}


def read_users(passwd_lines, shadow_lines):
    """Every managed user as its configuration value, in file order."""
    hashes = password_hashes(shadow_lines)
    users = []
    for line in passwd_lines:
        fields = managed_user(line)
        if fields:
            users.append({"name": fields[0], "uid": int(fields[2]), "home": fields[5],
                          "shell": fields[6], "password_hash": hashes.get(fields[0], LOCKED)})
    return users


def replace_entry(lines, name, make_line):
    """Replaces the line of name by make_line(old fields or None); None removes it."""
    for index, line in enumerate(lines):
        fields = line.split(":")
        if fields[0] == name:
            new = make_line(fields)
            if new is None:
                del lines[index]
            else:
                lines[index] = new
            return
    new = make_line(None)
    if new is not None:
        lines.append(new)


def passwd_line(user):
    def make(old):
        kept = old and len(old) == PASSWD_FIELDS
        gid, comment = (old[3], old[4]) if kept else (str(user["uid"]), "")
        return ":".join([user["name"], "x", str(user["uid"]), gid, comment, user["home"],
                         user["shell"]])
    return make


def shadow_line(user):
    def make(old):
        if old and len(old) == SHADOW_FIELDS and old[1] == user["password_hash"]:
            return ":".join(old)
        changed = str(int(time.time()) // 86400)
        return ":".join([user["name"], user["password_hash"], changed, "0", "99999", "7", "",
                         "", ""])
    return make


def refuse_system_accounts(changes, passwd_lines):
    """A change must not name an account outside the managed range: its lines would be
    replaced or removed."""
    system = {line.split(":")[0] for line in passwd_lines if line and not managed_user(line)}
    for change in changes:
        name = change.id.instance_id or change.config["name"]
        if name in system:
            raise tp.PluginError(SYSTEM_ACCOUNT, ["/".join([demo_files.key_path(change.id), name,
                                                            "name"]), name])


def apply_changes(changes, passwd_lines, shadow_lines):
    """Applies the changes to the two files' lines, in place."""
    for change in changes:
        name = change.id.instance_id or change.config["name"]
        if change.operation == "DELETE":
            replace_entry(passwd_lines, name, lambda old: None)
            replace_entry(shadow_lines, name, lambda old: None)
        else:
            replace_entry(passwd_lines, name, passwd_line(change.config))
            replace_entry(shadow_lines, name, shadow_line(change.config))


@tp.apply
def apply(request):
    demo_files.refuse_bad_inputs(request, user_problems)
    passwd_lines = read_file(request, PASSWD, PASSWD_FIELDS)
    shadow_lines = read_file(request, SHADOW, SHADOW_FIELDS)
    refuse_system_accounts(request.inputs, passwd_lines)
    apply_changes(request.inputs, passwd_lines, shadow_lines)
    demo_files.write_lines(request.host_path(SHADOW), shadow_lines, 0o640)
    demo_files.write_lines(request.host_path(PASSWD), passwd_lines)


@tp.extract
def extract(request):
    users = read_users(read_file(request, PASSWD, PASSWD_FIELDS),
                       read_file(request, SHADOW, SHADOW_FIELDS))
    return [tp.ConfigObject(tp.ObjectId(key.component, key.group, key.key, user["name"]), user)
            for key in request.ids for user in users]


@tp.validate
def validate(request):
    return demo_files.invalid_fields(request, user_problems, multi_instance=True)
