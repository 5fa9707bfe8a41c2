"""The SSH server's settings: apply writes /etc/ssh/sshd_config from the key's value (one
"Keyword value" line per value, settings in their order, then each Match block with its
settings indented). The current value is read back from the file by the host's own SSH
synchronisation, so this plugin does not extract."""

import demo_files
import tarn_plugin as tp

SSHD_CONFIG = "/etc/ssh/sshd_config"
BLOCK_KEYWORD = "match"
BLOCK_KEYWORD_SETTING = "com.example.demohost.ssh.block-keyword"
NOT_A_BLOCK = "com.example.demohost.ssh.not-a-block"
BLANKS_AROUND = "com.example.demohost.ssh.blanks-around"


def check_keyword(field, keyword):
    """The first word of a line, up to a blank or '='; "Match" would start a block and '#' a
    comment."""
    problems = demo_files.check_text(field, keyword, " =#")
    if not problems and keyword.lower() == BLOCK_KEYWORD:
        problems = [demo_files.Problem(field, BLOCK_KEYWORD_SETTING, [keyword])]
    return problems


def check_value(field, value):
    """The rest of a line, read back with the blanks around it trimmed."""
    problems = demo_files.check_text(field, value)
    if not problems and value != value.strip():
        problems = [demo_files.Problem(field, BLANKS_AROUND, [])]
    return problems


def check_settings(field, settings):
    return demo_files.check_list(field, settings, lambda item, setting: demo_files.check_members(
        item, setting, {"keyword": check_keyword,
                  "values": lambda f, v: demo_files.check_list(f, v, check_value)}))


def check_condition(field, condition):
    """A whole "Match ..." line."""
    problems = check_value(field, condition)
    words = condition.split(None, 1) if not problems else []
    if not problems and (len(words) < 2 or words[0].lower() != BLOCK_KEYWORD):
        problems = [demo_files.Problem(field, NOT_A_BLOCK, [condition])]
    return problems


def config_problems(config):
    return demo_files.check_members("", config, {
        "settings": check_settings,
        "blocks": lambda field, blocks: demo_files.check_list(
            field, blocks, lambda item, block: demo_files.check_members(
                item, block, {"condition": check_condition, "settings": check_settings},
                optional=("settings",)))},
        optional=("settings", "blocks"))


def setting_lines(settings, indent=""):
    return ["%s%s %s" % (indent, setting["keyword"], value)
            for setting in settings for value in setting["values"]]


def render(config):
    lines = ["# SSH server settings of the desired host configuration, written by its plugin."]
    lines += setting_lines(config.get("settings", []))
    for block in config.get("blocks", []):
        lines.append(block["condition"])
        lines += setting_lines(block.get("settings", []), "    ")
    return lines


@tp.apply
def apply(request):
    demo_files.refuse_bad_inputs(request, config_problems)
    demo_files.replace_file(request, request.host_path(SSHD_CONFIG), render)


@tp.validate
def validate(request):
    return demo_files.invalid_fields(request, config_problems, multi_instance=False)
