# The wheel carries the C library, so it is tagged for this platform
# (linux_x86_64), not "any"; its Python code runs on any Python 3.
from setuptools import setup

commands = {}
try:
    from wheel.bdist_wheel import bdist_wheel, get_platform
except ImportError:  # an sdist needs no wheel tags
    pass
else:

    class PlatformWheel(bdist_wheel):
        def get_tag(self):
            return ("py3", "none", get_platform(self.bdist_dir).replace("-", "_").replace(".", "_"))

    commands["bdist_wheel"] = PlatformWheel

setup(cmdclass=commands)
