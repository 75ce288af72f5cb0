import json
import os
import subprocess
import sys
import textwrap

import plyfold
import pytest

BULB = "\U0001f4a1"
E005_SUGGESTION = (
    "Call .flatten() or .unflatten() on your Plyfold instance before calling .execute() "
    "to set the operation mode."
)
E006_SUGGESTION = (
    "Check the JSON at the specified index. All items in a batch must be valid JSON strings "
    "or objects."
)


@pytest.fixture
def flat():
    return plyfold.Plyfold().flatten()


def config_of(obj):
    """The configuration of a Plyfold object as a dict."""
    return json.loads(obj.to_config_json())


def run_python(code, env=None):
    """Runs code in a fresh interpreter (for process-wide state) and returns its stdout."""
    full_env = {k: v for k, v in os.environ.items() if not k.startswith("PLYFOLD_")}
    full_env.update(env or {})
    result = subprocess.run(
        [sys.executable, "-c", textwrap.dedent(code)],
        capture_output=True,
        text=True,
        env=full_env,
        timeout=120,
    )
    assert result.returncode == 0, result.stderr
    return result.stdout
