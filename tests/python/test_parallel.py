"""Batches and large documents on worker threads: order, equality with the
sequential path, and a pool that never writes to the terminal."""

import json
import subprocess
import sys
import textwrap

import plyfold
import pytest


def make_batch(count):
    return [json.dumps({"n": i, "inner": {"list": [i, str(i)]}}) for i in range(count)]


@pytest.mark.parametrize("threads", [None, 1, 3, 64])
def test_parallel_batch_matches_sequential(threads):
    batch = make_batch(300)
    sequential = plyfold.Plyfold().flatten().parallel_threshold(1000).execute(batch)
    parallel = (
        plyfold.Plyfold().flatten().parallel_threshold(10).num_threads(threads).execute(batch)
    )
    assert parallel == sequential
    assert parallel[7] == '{"n":7,"inner.list.0":7,"inner.list.1":"7"}'


@pytest.mark.parametrize("threads", [None, 1, 4])
def test_split_document_matches_sequential(threads):
    # Repeated keys, differing only in case, spread over every chunk.
    members = [f'"{"Kk"[i % 2]}ey{i % 7}":{{"v":{i},"w":[{i}]}}' for i in range(250)]
    text = "{" + ",".join(members) + "}"

    def run(threshold):
        return (
            plyfold.Plyfold()
            .flatten()
            .lowercase_keys(True)
            .handle_key_collision(True)
            .nested_parallel_threshold(threshold)
            .num_threads(threads)
            .execute(text)
        )

    assert run(0) == run(10_000)
    assert json.loads(run(0))["key0.v"] == list(range(0, 250, 7))


def test_pools_larger_than_the_machine_print_nothing():
    # The scheduler warns on stderr when a pool asks for more threads than
    # its cap; the library must stay silent, in a fresh process.
    script = textwrap.dedent(
        """
        import json, plyfold
        batch = [json.dumps({"i": i}) for i in range(200)]
        p = plyfold.Plyfold().flatten().parallel_threshold(1).num_threads(64)
        assert p.execute(batch)[199] == '{"i":199}'
        doc = json.dumps({str(i): i for i in range(500)})
        q = plyfold.Plyfold().flatten().handle_key_collision(True)
        q.nested_parallel_threshold(1).num_threads(48)
        assert json.loads(q.execute(doc))["499"] == 499
        """
    )
    result = subprocess.run(
        [sys.executable, "-c", script], capture_output=True, text=True, timeout=120
    )
    assert result.returncode == 0, result.stderr
    assert result.stdout == ""
    assert result.stderr == ""


def test_oversized_dedicated_pool_is_a_clear_error():
    with pytest.raises(plyfold.PlyfoldError) as raised:
        plyfold.Plyfold().flatten().parallel_threshold(1).num_threads(10**12).execute(["{}"])
    assert "failed to build thread pool with 1000000000000 threads: " in str(raised.value)


@pytest.mark.parametrize("threads", [None, 1, 3])
def test_split_documents_inside_a_parallel_batch(threads):
    # Each document of a parallel batch is itself split: the nested work must
    # neither block the pool nor change the result.
    document = json.dumps({str(i): {"v": i} for i in range(300)})
    transformer = (
        plyfold.Plyfold()
        .flatten()
        .handle_key_collision(True)
        .nested_parallel_threshold(10)
        .parallel_threshold(1)
        .num_threads(threads)
    )
    results = transformer.execute([document] * 40)
    assert len(set(results)) == 1
    assert json.loads(results[0])["299.v"] == 299
