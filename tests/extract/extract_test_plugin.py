"""Extract plugin of the extraction tests. What it returns depends on the folder it is
installed in, the last piece of its id: "links" returns the interfaces eth0 and eth1,
a folder ending in "invalid" an interface without a name and with a text MTU, "fails"
reports an error."""

import tarn_plugin as tp


def interface(key, name, config):
    return tp.ConfigObject(tp.ObjectId(key.component, key.group, key.key, name), config)


@tp.extract
def extract(request):
    kind = request.plugin_id.rsplit(":", 1)[-1]
    if kind == "fails":
        raise tp.PluginError("test.extract.failed", [request.plugin_id], "no links")
    if kind.endswith("invalid"):
        return [interface(key, "x", {"mtu": "big"}) for key in request.ids]
    return [interface(key, name, {"name": name, "mtu": mtu})
            for key in request.ids for name, mtu in (("eth0", 9000), ("eth1", 1500))]
